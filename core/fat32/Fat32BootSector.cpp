#include "fat32/Fat32BootSector.h"

#include "jexcommon/ByteOrder.h"
#include "fat32/Fat32Layout.h"

#include <algorithm>
#include <cstring>

using namespace fat32layout;

bool CFat32BootSector::ClusterOffset(uint32_t cluster, uint64_t& offset) const
{
    if (cluster < 2)
        return false;
    offset = firstDataSector * bytesPerSector + (static_cast<uint64_t>(cluster) - 2) * clusterSize;
    return true;
}

Fat32BootCheck ZelDecodeFat32BootSector(const uint8_t* bytes, size_t length, CFat32BootSector& boot,
                                        std::string& problem)
{
    if (bytes == nullptr || length < kBootMinimumSize)
        return Fat32BootCheck::TooShort;
    boot = CFat32BootSector();
    boot.bytesPerSector = ZelLE16(bytes + kBootBytesPerSector);
    boot.sectorsPerCluster = bytes[kBootSectorsPerCluster];
    boot.reservedSectors = ZelLE16(bytes + kBootReservedSectors);
    boot.numberOfFats = bytes[kBootNumberOfFats];
    boot.sectorsPerFat16 = ZelLE16(bytes + kBootSectorsPerFat16);
    boot.totalSectors32 = ZelLE32(bytes + kBootTotalSectors32);
    boot.volumeSize = static_cast<uint64_t>(boot.bytesPerSector) * boot.totalSectors32;

    // Sector and cluster sizes are checked first: data that is no FAT boot
    // sector at all is not named a FAT12 or FAT16 volume.
    const uint16_t bps = boot.bytesPerSector;
    const uint8_t spc = boot.sectorsPerCluster;
    if (bps != 512 && bps != 1024 && bps != 2048 && bps != 4096)
        problem = "bytes per sector is " + std::to_string(bps);
    else if (spc == 0 || (spc & (spc - 1)) != 0)
        problem = "sectors per cluster is " + std::to_string(spc);
    if (!problem.empty())
        return Fat32BootCheck::Invalid;

    if (boot.sectorsPerFat16 != 0) {
        boot.variant = std::memcmp(bytes + kBootFat16TypeLabel, "FAT16", 5) == 0 ? 16 : 12;
        return Fat32BootCheck::OtherFat;
    }
    boot.variant = 32;
    boot.sectorsPerFat32 = ZelLE32(bytes + kBootSectorsPerFat32);
    boot.rootCluster = ZelLE32(bytes + kBootRootCluster);

    if (boot.reservedSectors == 0)
        problem = "no reserved sectors";
    else if (boot.numberOfFats == 0)
        problem = "no allocation table";
    else if (boot.sectorsPerFat32 == 0)
        problem = "the allocation table has no sectors";
    else if (boot.rootCluster < 2 || boot.rootCluster > kLastValidCluster)
        problem = "root directory cluster is " + std::to_string(boot.rootCluster);
    if (!problem.empty())
        return Fat32BootCheck::Invalid;

    boot.firstDataSector =
        boot.reservedSectors + static_cast<uint64_t>(boot.numberOfFats) * boot.sectorsPerFat32;
    boot.clusterSize = static_cast<uint64_t>(spc) * bps;
    boot.fatOffset = static_cast<uint64_t>(boot.reservedSectors) * bps;
    uint64_t dataSectors = boot.totalSectors32 > boot.firstDataSector ? boot.totalSectors32 - boot.firstDataSector : 0;
    uint64_t clusters = dataSectors / spc;
    boot.lastCluster = static_cast<uint32_t>(std::min<uint64_t>(clusters + 1, kLastValidCluster));
    return Fat32BootCheck::Fat32;
}
