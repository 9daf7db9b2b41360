#include "exfat/ExfatBootRegion.h"

#include "exfat/ExfatLayout.h"
#include "jexcommon/ByteOrder.h"

#include <algorithm>
#include <cstring>

using namespace exfatlayout;

namespace {

// Checks one region of length bytes: its boot sector, then its checksum
// sector. Empty when it is sound.
std::string CheckRegion(const uint8_t* region, size_t length, CExfatBootSector& boot)
{
    std::string problem;
    switch (ZelDecodeExfatBootSector(region, length, boot, problem)) {
    case ExfatBootCheck::Exfat:
        break;
    case ExfatBootCheck::NotExfat:
        return "no exFAT boot sector";
    case ExfatBootCheck::TooShort:
        return "too short to hold a boot sector";
    case ExfatBootCheck::Invalid:
        return problem;
    }
    if (length < static_cast<size_t>(kBootRegionSectors) * boot.sectorSize)
        return "the boot region is cut short";
    const uint32_t sum = ZelExfatBootChecksum(region, boot.sectorSize);
    const uint8_t* checksums = region + static_cast<size_t>(kChecksumSector) * boot.sectorSize;
    for (uint32_t at = 0; at + 4 <= boot.sectorSize; at += 4)
        if (ZelLE32(checksums + at) != sum)
            return "the boot checksum does not agree";
    return std::string();
}

} // namespace

bool CExfatBootSector::ClusterOffset(uint32_t cluster, uint64_t& offset) const
{
    if (cluster < kFirstCluster || cluster > lastCluster)
        return false;
    offset = heapBytesOffset + static_cast<uint64_t>(cluster - kFirstCluster) * clusterSize;
    return true;
}

ExfatBootCheck ZelDecodeExfatBootSector(const uint8_t* bytes, size_t length, CExfatBootSector& boot,
                                        std::string& problem)
{
    if (bytes == nullptr || length < kBootMinimumSize)
        return ExfatBootCheck::TooShort;
    if (std::memcmp(bytes + kBootFileSystemName, "EXFAT   ", 8) != 0)
        return ExfatBootCheck::NotExfat;
    boot = CExfatBootSector();
    boot.partitionOffset = ZelLE64(bytes + kBootPartitionOffset);
    boot.volumeLength = ZelLE64(bytes + kBootVolumeLength);
    boot.fatOffset = ZelLE32(bytes + kBootFatOffset);
    boot.fatLength = ZelLE32(bytes + kBootFatLength);
    boot.clusterHeapOffset = ZelLE32(bytes + kBootClusterHeapOffset);
    boot.clusterCount = ZelLE32(bytes + kBootClusterCount);
    boot.rootCluster = ZelLE32(bytes + kBootRootCluster);
    boot.revision = ZelLE16(bytes + kBootRevision);
    boot.volumeFlags = ZelLE16(bytes + kBootVolumeFlags);
    boot.bytesPerSectorShift = bytes[kBootBytesPerSectorShift];
    boot.sectorsPerClusterShift = bytes[kBootSectorsPerClusterShift];
    boot.numberOfFats = bytes[kBootNumberOfFats];

    const uint32_t bpsShift = boot.bytesPerSectorShift, spcShift = boot.sectorsPerClusterShift;
    const uint64_t fatsEnd = static_cast<uint64_t>(boot.fatOffset) +
                             static_cast<uint64_t>(boot.fatLength) * std::max<uint8_t>(boot.numberOfFats, 1);
    // Every value is checked before another is derived from it: shifts
    // first, so that no size below overflows.
    if (bytes[kBootJump] != 0xEB || bytes[kBootJump + 1] != 0x76 || bytes[kBootJump + 2] != 0x90)
        problem = "the jump is not EB 76 90";
    else if (std::any_of(bytes + kBootMustBeZero, bytes + kBootMustBeZero + kBootMustBeZeroSize,
                         [](uint8_t b) { return b != 0; }))
        problem = "the bytes a FAT boot sector would use are not zero";
    else if (bytes[kBootSignature] != 0x55 || bytes[kBootSignature + 1] != 0xAA)
        problem = "no boot signature";
    else if (bpsShift < kMinBytesPerSectorShift || bpsShift > kMaxBytesPerSectorShift)
        problem = "bytes per sector shift is " + std::to_string(bpsShift);
    else if (spcShift > kMaxClusterShift - bpsShift)
        problem = "sectors per cluster shift is " + std::to_string(spcShift);
    else if (boot.numberOfFats != 1 && boot.numberOfFats != 2)
        problem = "the number of allocation tables is " + std::to_string(boot.numberOfFats);
    else if (boot.volumeLength < (uint64_t(1) << (20 - bpsShift)) || boot.volumeLength > (UINT64_MAX >> bpsShift))
        problem = "the volume length is " + std::to_string(boot.volumeLength) + " sectors";
    else if (boot.fatOffset < kBootRegionSectors * 2)
        problem = "the allocation table starts at sector " + std::to_string(boot.fatOffset);
    else if (boot.clusterCount == 0 || boot.clusterCount > kMaxClusterCount)
        problem = "the cluster count is " + std::to_string(boot.clusterCount);
    else if (static_cast<uint64_t>(boot.fatLength) << bpsShift < (static_cast<uint64_t>(boot.clusterCount) + 2) * 4)
        problem = "the allocation table is too short for its clusters";
    else if (boot.clusterHeapOffset < fatsEnd)
        problem = "the cluster heap starts inside the allocation table";
    else if (boot.clusterHeapOffset + (static_cast<uint64_t>(boot.clusterCount) << spcShift) > boot.volumeLength)
        problem = "the cluster heap runs past the volume's end";
    else if (boot.rootCluster < kFirstCluster || boot.rootCluster > boot.clusterCount + 1)
        problem = "the root directory cluster is " + std::to_string(boot.rootCluster);
    if (!problem.empty())
        return ExfatBootCheck::Invalid;

    boot.sectorSize = uint32_t(1) << bpsShift;
    boot.clusterSize = uint64_t(1) << (bpsShift + spcShift);
    boot.volumeSize = boot.volumeLength << bpsShift;
    boot.fatBytesOffset = static_cast<uint64_t>(boot.fatOffset) << bpsShift;
    boot.heapBytesOffset = static_cast<uint64_t>(boot.clusterHeapOffset) << bpsShift;
    boot.lastCluster = boot.clusterCount + 1;
    return ExfatBootCheck::Exfat;
}

uint32_t ZelExfatBootChecksum(const uint8_t* region, uint32_t sectorSize)
{
    uint32_t sum = 0;
    const size_t bytes = static_cast<size_t>(kChecksummedSectors) * sectorSize;
    for (size_t i = 0; i < bytes; ++i) {
        if (i == kBootVolumeFlags || i == kBootVolumeFlags + 1 || i == kBootPercentInUse)
            continue;
        sum = ((sum & 1) ? 0x80000000u : 0u) + (sum >> 1) + region[i];
    }
    return sum;
}

ExfatBootSource ZelChooseExfatBootRegion(const uint8_t* main, size_t mainLength, const uint8_t* backup,
                                         size_t backupLength, CExfatBootSector& boot, std::string& problem)
{
    problem = CheckRegion(main, mainLength, boot);
    if (problem.empty())
        return ExfatBootSource::Main;
    CExfatBootSector fromBackup;
    std::string backupProblem = CheckRegion(backup, backupLength, fromBackup);
    if (backupProblem.empty()) {
        boot = fromBackup;
        problem = "the main boot region: " + problem;
        return ExfatBootSource::Backup;
    }
    problem = "the main boot region: " + problem + "; its backup: " + backupProblem;
    return ExfatBootSource::None;
}
