// The boot-sector values the FAT32 engine works from, decoded from the
// bytes of sector 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct CFat32BootSector {
    uint16_t bytesPerSector = 0;
    uint8_t sectorsPerCluster = 0;
    uint16_t reservedSectors = 0;
    uint8_t numberOfFats = 0;
    uint16_t sectorsPerFat16 = 0;
    uint32_t totalSectors32 = 0;
    uint32_t sectorsPerFat32 = 0;
    uint32_t rootCluster = 0;

    // 12, 16 or 32.
    int variant = 0;
    // Derived, in bytes unless named otherwise.
    uint64_t firstDataSector = 0;
    uint64_t clusterSize = 0;
    uint64_t volumeSize = 0;
    // Byte offset of the first allocation table.
    uint64_t fatOffset = 0;
    // The highest cluster number the data region holds.
    uint32_t lastCluster = 0;

    // Byte offset of cluster n on the volume; false for a cluster number
    // that lies before the data region (0 and 1).
    bool ClusterOffset(uint32_t cluster, uint64_t& offset) const;
};

enum class Fat32BootCheck {
    Fat32,
    // A FAT12 or FAT16 volume (the variant is recorded): not scanned.
    OtherFat,
    // Fewer bytes than the check needs.
    TooShort,
    // Values no FAT32 volume has.
    Invalid,
};

// Decodes length bytes of sector 0. For Invalid, problem says which value is
// wrong.
Fat32BootCheck ZelDecodeFat32BootSector(const uint8_t* bytes, size_t length, CFat32BootSector& boot,
                                        std::string& problem);
