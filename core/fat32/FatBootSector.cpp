#include "fat32/FatBootSector.h"

#include "fat32/Fat32Layout.h"
#include "jexcommon/ByteOrder.h"

#include <algorithm>

using namespace fat32layout;

bool CFatBootSector::ClusterOffset(uint32_t cluster, uint64_t& offset) const
{
    if (cluster < 2)
        return false;
    offset = firstDataSector * bytesPerSector + (static_cast<uint64_t>(cluster) - 2) * clusterSize;
    return true;
}

std::string CFatBootSector::Name() const
{
    return "FAT" + std::to_string(variant);
}

FatBootCheck ZelDecodeFatBootSector(const uint8_t* bytes, size_t length, CFatBootSector& boot, std::string& problem)
{
    if (bytes == nullptr || length < kBootMinimumSize)
        return FatBootCheck::TooShort;
    boot = CFatBootSector();
    boot.bytesPerSector = ZelLE16(bytes + kBootBytesPerSector);
    boot.sectorsPerCluster = bytes[kBootSectorsPerCluster];
    boot.reservedSectors = ZelLE16(bytes + kBootReservedSectors);
    boot.numberOfFats = bytes[kBootNumberOfFats];
    boot.rootEntryCount = ZelLE16(bytes + kBootRootEntryCount);
    const uint16_t total16 = ZelLE16(bytes + kBootTotalSectors16);
    boot.totalSectors = total16 != 0 ? total16 : ZelLE32(bytes + kBootTotalSectors32);
    const uint16_t sectorsPerFat16 = ZelLE16(bytes + kBootSectorsPerFat16);
    // Without a 16-bit table size the FAT32 fields follow.
    const bool fat32Layout = sectorsPerFat16 == 0;
    boot.sectorsPerFat = fat32Layout ? ZelLE32(bytes + kBootSectorsPerFat32) : sectorsPerFat16;
    if (fat32Layout)
        boot.rootCluster = ZelLE32(bytes + kBootRootCluster);
    boot.volumeSize = static_cast<uint64_t>(boot.bytesPerSector) * boot.totalSectors;

    const uint16_t bps = boot.bytesPerSector;
    const uint8_t spc = boot.sectorsPerCluster;
    if (bps != 512 && bps != 1024 && bps != 2048 && bps != 4096)
        problem = "bytes per sector is " + std::to_string(bps);
    else if (spc == 0 || (spc & (spc - 1)) != 0)
        problem = "sectors per cluster is " + std::to_string(spc);
    else if (boot.reservedSectors == 0)
        problem = "no reserved sectors";
    else if (boot.numberOfFats == 0)
        problem = "no allocation table";
    else if (boot.sectorsPerFat == 0)
        problem = "the allocation table has no sectors";
    else if (fat32Layout && (boot.rootCluster < 2 || boot.rootCluster > kLastValidCluster))
        problem = "root directory cluster is " + std::to_string(boot.rootCluster);
    else if (!fat32Layout && boot.rootEntryCount == 0)
        problem = "the root directory has no entries";
    if (!problem.empty())
        return FatBootCheck::Invalid;

    boot.clusterSize = static_cast<uint64_t>(spc) * bps;
    boot.fatOffset = static_cast<uint64_t>(boot.reservedSectors) * bps;
    boot.fatBytes = static_cast<uint64_t>(boot.sectorsPerFat) * bps;
    const uint64_t tablesEnd = boot.reservedSectors + static_cast<uint64_t>(boot.numberOfFats) * boot.sectorsPerFat;
    if (!fat32Layout) {
        boot.rootOffset = tablesEnd * bps;
        boot.rootBytes = static_cast<uint64_t>(boot.rootEntryCount) * kEntrySize;
    }
    boot.firstDataSector = tablesEnd + (boot.rootBytes + bps - 1) / bps;
    const uint64_t dataSectors =
        boot.totalSectors > boot.firstDataSector ? boot.totalSectors - boot.firstDataSector : 0;
    const uint64_t clusters = dataSectors / spc;
    if (fat32Layout)
        boot.variant = 32;
    else
        boot.variant = clusters < kFat12MaxClusters ? 12 : 16;
    // Cluster numbers the table's entries can hold, below the bad-cluster
    // and end-of-chain values.
    const uint64_t highest = boot.variant == 12 ? kFat12LastCluster
                             : boot.variant == 16 ? kFat16LastCluster
                                                  : kLastValidCluster;
    boot.lastCluster = static_cast<uint32_t>(std::min<uint64_t>(clusters + 1, highest));
    return FatBootCheck::Fat;
}
