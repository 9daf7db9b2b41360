// Names the file system on an open volume: "FAT12", "FAT16" or "FAT32" for
// FAT volumes, "NTFS", "exFAT", otherwise the name libblkid gives ("ext4");
// empty when nothing is recognised. With a length, only the window of that
// many bytes from offset is probed (a partition).
#pragma once

#include <cstdint>
#include <string>

std::string ZelProbeFileSystemName(int fd, uint64_t offset = 0, uint64_t length = 0);
// The name shown for a file system libblkid (or udev, which asks it) calls
// type, of version.
std::string ZelFileSystemNameOf(const std::string& type, const std::string& version);
