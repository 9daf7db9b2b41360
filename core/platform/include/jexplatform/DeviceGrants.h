// Block devices opened for this process by the device helper: a device path
// and the descriptor handed over for it. Opening that path (a device file,
// a volume source, the checks before a search) then takes a new descriptor
// of the same open device instead of opening the node, which the user may
// not. The volume text stays the device path everywhere.
#pragma once

#include <string>

// Keeps fd (owned from now on) as the open device of path, in place of an
// earlier one.
void ZelGrantDevice(const std::string& path, int fd);
// A new close-on-exec descriptor of the device granted for path; -1 when
// none was.
int ZelOpenGranted(const std::string& path);
bool ZelIsGranted(const std::string& path);
