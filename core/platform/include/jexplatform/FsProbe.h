// Names the file system on an open volume: "FAT12", "FAT16" or "FAT32" for
// FAT volumes, "NTFS", "exFAT", otherwise the name libblkid gives ("ext4");
// empty when nothing is recognised.
#pragma once

#include <string>

std::string ZelProbeFileSystemName(int fd);
