// The search jexrecover runs before it lists or restores: quick or deep as
// the options say, with its progress on a terminal, and ended early, with
// what it found so far kept, by Ctrl-C.
#pragma once

#include "Options.h"
#include "jexrecovery/ZelRecoveryScan.h"

#include <string>

// Progress is shown on a terminal, unless --quiet.
bool ZelShowProgress(const CRecoverOptions& options);

// Prepares and runs the search; false with the reason when the volume
// cannot be searched.
bool ZelRunSearch(const CRecoverOptions& options, CZelRecoveryScan& scan, std::string& error);
