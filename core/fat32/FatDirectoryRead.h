// Reads the bytes of a FAT directory so that a sector that cannot be read
// costs the names in it and no more: each such sector is stood in for by
// deleted volume-label entries, which end any name they cut and are never
// kept, and the walk goes on after it.
#pragma once

#include "jexplatform/VolumeSource.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct CFatDirectoryRead {
    // Bytes delivered: fewer than asked at the end of the volume or when
    // the device is gone.
    size_t bytes = 0;
    // No more can follow: the volume ended or the device is gone.
    bool ended = false;
    // The device went away; failed holds its read.
    bool vanished = false;
    // The sectors that could not be read: where the first starts, their
    // bytes and the last failed read.
    uint64_t firstFailed = 0;
    size_t unreadable = 0;
    CZelRead failed;
    // Offsets of the entries that follow a sector that could not be read:
    // a name that starts there may have lost its first pieces.
    std::vector<uint64_t> afterHoles;
};

// Reads count bytes at offset, retrying once and then sector by sector
// (sector bytes each) where the read fails.
CFatDirectoryRead ZelReadFatDirectory(CZelVolumeSource& source, uint64_t offset, uint8_t* destination, size_t count,
                                      size_t sector);
