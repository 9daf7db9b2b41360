// From the text a caller names a volume with to the path of its device.
#pragma once

#include <string>

struct CZelVolumePath {
    // The device node or image file to open; empty when the text names none.
    std::string device;
    // Why no device was found, when device is empty.
    std::string error;
};

// A device node or image path is used as it is, with one trailing "/"
// removed; a directory that is a mount point gives the block device mounted
// there.
CZelVolumePath ZelResolveVolumePath(const std::string& volume);

// The text after the last "/" of a device path ("sdb1", "card.img"); the
// whole path when it has none. Found paths begin with it.
std::string ZelRootName(const std::string& devicePath);

// The device mounted at mountPoint according to a mountinfo text (the
// format of /proc/self/mountinfo); empty when no mount there names a device.
std::string ZelMountSourceFromMountInfo(const std::string& mountInfo, const std::string& mountPoint);
