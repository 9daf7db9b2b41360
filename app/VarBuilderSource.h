// Where the program makes its variable builders: libJexVars.so in the
// program's folder, remembered once; every builder is made from it anew.
#pragma once

#include "jexvars/ZelComPtr.h"
#include "jexvars/ZelVars.h"

#include <string>

// Remembers the folder that holds libJexVars.so; false with the reason when
// the library cannot be loaded from there.
bool ZelSetVarsFolder(const std::string& folder, std::string& error);
// A new builder; empty when none can be made (no folder remembered, the
// library or its export missing, the class factory failing).
CZelComPtr<IZelVarBuilder> ZelCreateVarBuilder();
