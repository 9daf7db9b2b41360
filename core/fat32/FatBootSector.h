// The boot-sector values the FAT engine works from, decoded from the bytes
// of sector 0: where the tables, the root directory and the clusters lie,
// and which of FAT12, FAT16 and FAT32 the volume is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct CFatBootSector {
    uint16_t bytesPerSector = 0;
    uint8_t sectorsPerCluster = 0;
    uint16_t reservedSectors = 0;
    uint8_t numberOfFats = 0;
    // Entries of the fixed root directory (FAT12 and FAT16; 0 on FAT32).
    uint16_t rootEntryCount = 0;
    uint64_t totalSectors = 0;
    // Of one allocation table.
    uint32_t sectorsPerFat = 0;
    // FAT32 only: the first cluster of the root directory; 0 on FAT12 and
    // FAT16, whose root directory is a fixed region.
    uint32_t rootCluster = 0;

    // 12, 16 or 32: the width of a table entry in bits.
    int variant = 0;
    // Derived, in bytes unless named otherwise.
    uint64_t firstDataSector = 0;
    uint64_t clusterSize = 0;
    uint64_t volumeSize = 0;
    // Byte offset of the first allocation table, and the size of one.
    uint64_t fatOffset = 0;
    uint64_t fatBytes = 0;
    // The fixed root directory region (FAT12 and FAT16).
    uint64_t rootOffset = 0;
    uint64_t rootBytes = 0;
    // The highest cluster number the data region holds.
    uint32_t lastCluster = 0;

    bool HasFixedRoot() const { return variant != 32; }
    // Byte offset of cluster n on the volume; false for a cluster number
    // that lies before the data region (0 and 1).
    bool ClusterOffset(uint32_t cluster, uint64_t& offset) const;
    // "FAT12", "FAT16" or "FAT32".
    std::string Name() const;
};

enum class FatBootCheck {
    Fat,
    // Fewer bytes than the check needs.
    TooShort,
    // Values no FAT volume has.
    Invalid,
};

// Decodes length bytes of sector 0. The variant follows the layout and the
// count of clusters: a boot sector without a 16-bit table size describes
// FAT32 (as Windows and Linux read it); otherwise fewer than 4,085 clusters
// make FAT12 and more make FAT16. The type label is never read. For
// Invalid, problem says which value is wrong.
FatBootCheck ZelDecodeFatBootSector(const uint8_t* bytes, size_t length, CFatBootSector& boot, std::string& problem);
