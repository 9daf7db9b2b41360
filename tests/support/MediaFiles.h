// Files of every kind the signature search knows, made by the real
// encoders at test time (tests/support/make-media.sh).
#pragma once

#include "support/TestImages.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace jextest {

// By file name; empty, with the reason, when the encoders are missing.
std::map<std::string, std::vector<uint8_t>> MakeMediaFiles(const TempDir& dir, std::string& reason);

} // namespace jextest
