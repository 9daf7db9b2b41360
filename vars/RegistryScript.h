// Registry scripts in the text form the component framework uses:
//
//   HKCR { NoRemove CLSID { ForceRemove {...} = s 'Name' { val X = s 'Y' } } }
//
// Registering creates every key and value the script names (a ForceRemove
// key is first removed whole). Unregistering removes every key the script
// names whole, except NoRemove keys, which are kept while what the script
// names inside them goes. %NAME% in the script is replaced from a table.
#pragma once

#include "Registry.h"

#include <map>
#include <string>

// S_OK, or E_FAIL when the script is malformed (nothing is changed then).
HRESULT ZelRunRegistryScript(CZelRegistry& registry, const std::string& script,
                             const std::map<std::string, std::string>& replacements, bool registering);
