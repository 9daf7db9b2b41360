// Creating an object by class identifier, as the component runtime does:
// the registry names the library (InprocServer32), which is loaded and asked
// for the class factory.
#pragma once

#include "jexvars/ZelCom.h"

// REGDB_E_CLASSNOTREG when the class is not registered; the library's and
// the factory's own codes otherwise.
HRESULT ZelCreateInstanceFromRegistry(REFCLSID clsid, IUnknown* outer, REFIID iid, void** object);
