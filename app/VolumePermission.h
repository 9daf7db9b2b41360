// Whether a volume cannot be searched only because the user may not read it.
#pragma once

#include <string>

// True when volume names a device or image that exists but that this
// process is not allowed to read.
bool ZelLacksReadPermission(const std::string& volume);
