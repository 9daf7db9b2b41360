#include "fat32/FatGeometry.h"

#include "fat32/Fat32EntryCheck.h"
#include "fat32/Fat32Layout.h"
#include "jexcommon/ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <map>

using namespace fat32layout;

namespace {

constexpr size_t kSector = 512;
// Folder starts kept for the solution; sectors of entries noted at most.
constexpr size_t kMaxStarts = 65536;
constexpr size_t kMaxEntrySectors = 4u << 20;

bool DotEntry(const uint8_t* entry, const char* name)
{
    char padded[11];
    std::memset(padded, ' ', sizeof padded);
    std::memcpy(padded, name, std::strlen(name));
    return std::memcmp(entry, padded, sizeof padded) == 0 && (entry[kEntryAttributes] & 0x10) != 0;
}

uint32_t ClusterOf(const uint8_t* entry)
{
    return (static_cast<uint32_t>(ZelLE16(entry + kEntryClusterHigh)) << 16) | ZelLE16(entry + kEntryClusterLow);
}

} // namespace

CFatGeometry ZelSolveFatGeometry(const std::vector<CFatFolderStart>& starts)
{
    CFatGeometry geometry;
    geometry.folders = static_cast<uint32_t>(starts.size());
    // Each folder with the next few after it votes for the cluster size and
    // data start the two imply.
    std::map<std::pair<uint64_t, uint64_t>, uint32_t> votes;
    for (size_t i = 0; i < starts.size(); ++i)
        for (size_t j = i + 1; j < std::min(starts.size(), i + 4); ++j) {
            const CFatFolderStart& a = starts[i];
            const CFatFolderStart& b = starts[j];
            if (b.cluster <= a.cluster || b.offset <= a.offset)
                continue;
            const uint64_t bytes = b.offset - a.offset, clusters = b.cluster - a.cluster;
            if (bytes % clusters != 0)
                continue;
            const uint64_t size = bytes / clusters;
            // A power of two from a sector to 2 MiB.
            if (size < kSector || size > (2u << 20) || (size & (size - 1)) != 0)
                continue;
            const uint64_t before = static_cast<uint64_t>(a.cluster - 2) * size;
            if (before > a.offset)
                continue;
            ++votes[{size, a.offset - before}];
        }
    std::pair<uint64_t, uint64_t> best{0, 0};
    uint32_t most = 0;
    for (const auto& vote : votes)
        if (vote.second > most) {
            most = vote.second;
            best = vote.first;
        }
    if (most == 0)
        return geometry;
    // The folders that lie where the answer puts their clusters.
    for (const CFatFolderStart& start : starts)
        if (start.offset >= best.second && (start.offset - best.second) % best.first == 0 &&
            (start.offset - best.second) / best.first + 2 == start.cluster)
            ++geometry.agreeing;
    geometry.clusterSize = best.first;
    geometry.dataStart = best.second;
    geometry.found = geometry.agreeing >= 2 && geometry.agreeing * 2 > geometry.folders;
    return geometry;
}

bool ZelFindFatGeometry(CZelVolumeSource& source, uint64_t size, CFatGeometry& geometry,
                        const std::function<bool()>& stop, const std::function<void(uint64_t)>& progress,
                        const std::function<void(const CZelRead&, uint64_t, size_t)>& unreadable,
                        const std::function<void(uint64_t, const uint8_t*, size_t)>& seen, CZelRead& vanished)
{
    // Entries are judged against the largest volume this one could be.
    CFatEntryLimits limits;
    limits.lastCluster = kLastValidCluster;
    limits.dataBytes = size;
    std::vector<CFatFolderStart> starts;
    std::vector<uint64_t> sectors;
    constexpr size_t kStretch = 1u << 20;
    std::vector<uint8_t> bytes(kStretch);
    for (uint64_t at = 0; at < size; at += kStretch) {
        if (stop && stop())
            break;
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(kStretch, size - at));
        CZelRead read = ZelReadRetrying(source, at, bytes.data(), wanted);
        if (read.end == ZelReadEnd::Vanished) {
            vanished = read;
            return false;
        }
        // What cannot be read is passed over, and counted: other folders
        // tell as much.
        const size_t got = read.end == ZelReadEnd::Failed ? 0 : read.bytes;
        if (read.end == ZelReadEnd::Failed && unreadable)
            unreadable(read, at, wanted);
        if (got != 0 && seen)
            seen(at, bytes.data(), got);
        for (size_t s = 0; s + kSector <= got; s += kSector) {
            const uint8_t* sector = bytes.data() + s;
            if (sector[0] == kEndOfDirectory)
                continue;
            const CFatClusterLook look = ZelLookAtDirectoryCluster(sector, kSector, 0, limits);
            const bool start = DotEntry(sector, ".") && DotEntry(sector + kEntrySize, "..") && ClusterOf(sector) >= 2;
            if (look.look == FatClusterLook::NotDirectory && !start)
                continue;
            if (sectors.size() < kMaxEntrySectors)
                sectors.push_back(at + s);
            if (start && starts.size() < kMaxStarts)
                starts.push_back({at + s, ClusterOf(sector)});
        }
        if (progress)
            progress(at + wanted);
        if (read.end == ZelReadEnd::VolumeEnd)
            break;
    }
    geometry = ZelSolveFatGeometry(starts);
    geometry.entrySectors = std::move(sectors);
    return true;
}

CFatBootSector ZelBootOfGeometry(const CFatGeometry& geometry, uint64_t size)
{
    CFatBootSector boot;
    boot.bytesPerSector = kSector;
    boot.sectorsPerCluster = static_cast<uint8_t>(std::min<uint64_t>(geometry.clusterSize / kSector, 128));
    boot.clusterSize = geometry.clusterSize;
    boot.firstDataSector = geometry.dataStart / kSector;
    boot.totalSectors = size / kSector;
    boot.volumeSize = size;
    const uint64_t clusters = size > geometry.dataStart ? (size - geometry.dataStart) / geometry.clusterSize : 0;
    // The tables are gone: none is read, and every cluster counts as free.
    boot.fatOffset = 0;
    boot.fatBytes = 0;
    if (clusters >= 65525) {
        boot.variant = 32;
        // Where FAT32 writers put the root.
        boot.rootCluster = 2;
        boot.lastCluster = static_cast<uint32_t>(std::min<uint64_t>(clusters + 1, kLastValidCluster));
    } else {
        boot.variant = clusters < kFat12MaxClusters ? 12 : 16;
        // The fixed root region lies just before the data, 512 entries
        // long, as mkfs.fat and most cameras make it.
        boot.rootBytes = std::min<uint64_t>(geometry.dataStart, 512 * kEntrySize);
        boot.rootOffset = geometry.dataStart - boot.rootBytes;
        boot.rootEntryCount = static_cast<uint16_t>(boot.rootBytes / kEntrySize);
        boot.lastCluster = static_cast<uint32_t>(
            std::min<uint64_t>(clusters + 1, boot.variant == 12 ? kFat12LastCluster : kFat16LastCluster));
    }
    return boot;
}
