// Where a FAT volume's clusters lie when its boot sector and the backup are
// gone (a card that "needs formatting"): found from its folders. A folder's
// first cluster starts with "." naming that cluster and "..": two folders
// at known byte offsets give the cluster size and the start of the data
// region, and more folders confirm them. One pass over the volume finds the
// folders, and notes every sector that holds directory entries, so that
// what reads directories afterwards reads those alone.
#pragma once

#include "fat32/FatBootSector.h"
#include "jexplatform/VolumeSource.h"

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

struct CFatGeometry {
    bool found = false;
    uint64_t clusterSize = 0;
    // Byte offset of cluster 2.
    uint64_t dataStart = 0;
    // Folders whose "." agrees with these, of those found.
    uint32_t agreeing = 0;
    uint32_t folders = 0;
    // Offsets of the sectors that look like directory entries, in order.
    std::vector<uint64_t> entrySectors;
};

// One folder start found in the data: where it lies and the cluster its
// "." names.
struct CFatFolderStart {
    uint64_t offset = 0;
    uint32_t cluster = 0;
};

// The cluster size and data start most folder starts agree on; found only
// when at least two folders agree and more agree than not.
CFatGeometry ZelSolveFatGeometry(const std::vector<CFatFolderStart>& starts);

// Reads the volume (size bytes) once, sector by sector in stretches, for
// folder starts and sectors of entries; stop ends it early, progress is
// told the bytes looked at, unreadable each stretch that cannot be read
// (passed over), seen every stretch read (for the other searches of the
// same pass). False, with the read, when the device went away.
bool ZelFindFatGeometry(CZelVolumeSource& source, uint64_t size, CFatGeometry& geometry,
                        const std::function<bool()>& stop, const std::function<void(uint64_t)>& progress,
                        const std::function<void(const CZelRead&, uint64_t, size_t)>& unreadable,
                        const std::function<void(uint64_t, const uint8_t*, size_t)>& seen, CZelRead& vanished);

// A boot sector for the geometry found on a volume of size bytes: FAT32
// when the clusters are too many for FAT16, the root where it would lie.
CFatBootSector ZelBootOfGeometry(const CFatGeometry& geometry, uint64_t size);
