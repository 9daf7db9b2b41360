// The exFAT boot region: the main boot sector's values, the checksum that
// guards the region's first eleven sectors, and the choice between the main
// region and its backup.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct CExfatBootSector {
    uint64_t partitionOffset = 0;
    // In sectors, as recorded.
    uint64_t volumeLength = 0;
    uint32_t fatOffset = 0;
    uint32_t fatLength = 0;
    uint32_t clusterHeapOffset = 0;
    uint32_t clusterCount = 0;
    uint32_t rootCluster = 0;
    uint16_t revision = 0;
    uint16_t volumeFlags = 0;
    uint8_t bytesPerSectorShift = 0;
    uint8_t sectorsPerClusterShift = 0;
    uint8_t numberOfFats = 0;

    // Derived, in bytes.
    uint32_t sectorSize = 0;
    uint64_t clusterSize = 0;
    uint64_t volumeSize = 0;
    uint64_t fatBytesOffset = 0;
    uint64_t heapBytesOffset = 0;
    // The highest cluster number the heap holds.
    uint32_t lastCluster = 0;

    // Byte offset of cluster n on the volume; false for a number outside
    // the heap.
    bool ClusterOffset(uint32_t cluster, uint64_t& offset) const;
};

enum class ExfatBootCheck {
    Exfat,
    // No exFAT name and jump: some other file system, or none.
    NotExfat,
    // Fewer bytes than the check needs.
    TooShort,
    // Named exFAT, with values no exFAT volume has.
    Invalid,
};

// Decodes length bytes of a main (or backup) boot sector and checks its
// values against each other. For Invalid, problem says which value is
// wrong.
ExfatBootCheck ZelDecodeExfatBootSector(const uint8_t* bytes, size_t length, CExfatBootSector& boot,
                                        std::string& problem);

// The checksum of the first eleven sectors of a boot region, leaving out
// the volume flags and the share in use, which change without it.
uint32_t ZelExfatBootChecksum(const uint8_t* region, uint32_t sectorSize);

// Which boot region a volume is read from.
enum class ExfatBootSource {
    Main,
    // The main region failed its check; its backup passed.
    Backup,
    // Neither did.
    None,
};

// Decodes the main region, or its backup where the main one is no sound
// exFAT region (bad values, or a checksum sector that does not agree).
// Each region is twelve sectors; a region given short counts as failed.
// problem says what was wrong with the main region when the backup was
// taken, or with both when neither was.
ExfatBootSource ZelChooseExfatBootRegion(const uint8_t* main, size_t mainLength, const uint8_t* backup,
                                         size_t backupLength, CExfatBootSector& boot, std::string& problem);
