// What a program finds out about a volume before and besides the core:
// clear reasons for a volume that cannot be searched, and whether a folder
// lies on the volume being searched.
#pragma once

#include <string>

struct CZelVolumeCheck {
    bool ok = false;
    std::string device; // the device node or image file the volume names
    bool blockDevice = false;
    std::string error;  // why it cannot be searched
};

// Finds what the volume names: a device node, an image file, or the mount
// point of a device. With open set, also checks that it can be read.
CZelVolumeCheck ZelCheckVolume(const std::string& volume, bool open);
// True when folder (or the nearest folder above it that exists) lies on the
// block device, on a partition of it, or on a volume built on top of it.
bool ZelFolderOnDevice(const std::string& folder, const std::string& device);
