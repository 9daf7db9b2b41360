// Whether bytes read from a cluster no live directory holds are really
// directory entries. A deleted folder's clusters are free and may since hold
// file data; data read as entries gives names of garbage and sizes of
// gigabytes. Every slot is checked as a FAT file system writes it.
#pragma once

#include <cstddef>
#include <cstdint>

// What the volume gives the checks: the highest cluster and the bytes the
// data region holds.
struct CFatEntryLimits {
    uint32_t lastCluster = 0;
    uint64_t dataBytes = 0;
    // FAT32 keeps a first cluster's high word in bytes 20-21; on FAT12 and
    // FAT16 they are no part of it.
    bool clusterHighWord = true;
};

// True when the 32 bytes at entry are a short entry a FAT file system could
// have written: attribute and reserved bits, the characters of the 8.3 name,
// valid dates and times, a first cluster inside the data region (0 only for
// an empty file, a volume label or ".." of a folder in the root), a size no
// larger than the data region and none for a folder.
bool ZelIsPlausibleShortEntry(const uint8_t* entry, const CFatEntryLimits& limits);
// The same for a long-name entry (attributes 0x0F): its order byte, type
// and cluster fields.
bool ZelIsPlausibleLongNameEntry(const uint8_t* entry);

enum class FatClusterLook {
    // Not directory entries (or no entry in use at all).
    NotDirectory,
    // The first cluster of a folder: "." naming this cluster, then "..".
    FolderStart,
    // Entries only, not the start of a folder: a later cluster of a folder.
    FolderPart,
};

struct CFatClusterLook {
    FatClusterLook look = FatClusterLook::NotDirectory;
    // For FolderStart, the first cluster ".." names (0 for the root).
    uint32_t parentCluster = 0;
    // Short entries in the cluster, deleted ones included.
    uint32_t entries = 0;
};

// Looks at the bytes of cluster (size whole 32-byte slots): every slot up to
// the first end marker must be a plausible entry, and every slot after it an
// end marker too.
CFatClusterLook ZelLookAtDirectoryCluster(const uint8_t* bytes, size_t size, uint32_t cluster,
                                          const CFatEntryLimits& limits);
