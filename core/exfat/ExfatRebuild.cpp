#include "exfat/ExfatRebuild.h"

#include "exfat/ExfatEntrySet.h"
#include "exfat/ExfatLayout.h"
#include "exfat/ExfatUpcase.h"
#include "jexcommon/ByteOrder.h"

#include <algorithm>
#include <vector>

using namespace exfatlayout;

namespace {

constexpr uint64_t kSector = 512;
constexpr size_t kChunk = size_t(1) << 20;
// The root directory's own entries come first; a label, a GUID and both
// bitmaps of a volume with two tables fit in these.
constexpr size_t kRootHeadEntries = 8;
// An up-case table is 5,836 bytes as formatting tools write it; a full one
// is 128 KiB.
constexpr uint64_t kMaxUpcaseLength = 131072;
// Folders of the root directory checked against each candidate layout.
constexpr size_t kMaxFoldersChecked = 16;
constexpr size_t kRootBytesRead = 65536;
// The system clusters lie at the heap's start; the bitmap's head read to
// check them is kept small whatever a crafted entry names.
constexpr uint64_t kMaxBitmapHead = 65536;

bool IsRootEntryType(uint8_t type)
{
    switch (type) {
    case kTypeAllocationBitmap: case kTypeUpcaseTable: case kTypeVolumeLabel: case kTypeVolumeLabel & 0x7F:
    case 0xA0: case 0x20: // volume GUID, in use or not
    case kTypeFile: case kTypeFile & 0x7F: case kTypeStreamExtension: case kTypeStreamExtension & 0x7F:
    case kTypeFileName: case kTypeFileName & 0x7F:
        return true;
    default:
        return false;
    }
}

// Calls visit(offset, bytes, length) for chunks of [from, to), read
// whole or in part; stops when visit returns true or the volume ends.
template <typename Visit>
bool ReadChunks(CZelVolumeSource& source, uint64_t from, uint64_t to, Visit visit)
{
    std::vector<uint8_t> chunk(kChunk);
    for (uint64_t at = from; at < to; at += kChunk) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunk, to - at));
        CZelRead read = ZelReadRetrying(source, at, chunk.data(), want);
        if (read.bytes > 0 && visit(at, chunk.data(), read.bytes))
            return true;
        if (read.end == ZelReadEnd::VolumeEnd || read.end == ZelReadEnd::Vanished)
            return false;
    }
    return false;
}

bool ReadWhole(CZelVolumeSource& source, uint64_t offset, std::vector<uint8_t>& bytes)
{
    return ZelReadRetrying(source, offset, bytes.data(), bytes.size()).Complete();
}

bool BitSet(const std::vector<uint8_t>& bitmap, uint64_t cluster)
{
    const uint64_t index = cluster - kFirstCluster;
    return index / 8 < bitmap.size() && (bitmap[static_cast<size_t>(index / 8)] >> (index % 8) & 1) != 0;
}

struct Candidate {
    uint64_t heap = 0;
    uint32_t shift = 0;
    uint32_t rootCluster = 0;
    uint64_t clusterCount = 0;
    int score = 0;
};

} // namespace

bool ZelDecodeExfatRootClues(const uint8_t* bytes, size_t length, CExfatRootClues& clues)
{
    clues = CExfatRootClues();
    bool bitmap = false, upcase = false;
    for (size_t i = 0; i < kRootHeadEntries && (i + 1) * kEntrySize <= length; ++i) {
        const uint8_t* entry = bytes + i * kEntrySize;
        const uint8_t type = entry[kEntryType];
        if (type == kTypeEndOfDirectory)
            break;
        if (!IsRootEntryType(type))
            return false;
        const uint32_t first = ZelLE32(entry + kStreamFirstCluster);
        const uint64_t size = ZelLE64(entry + kStreamDataLength);
        if (type == kTypeAllocationBitmap && !bitmap && (entry[1] & 1) == 0) {
            // One bit per cluster of at most 2^32 clusters.
            if (first < kFirstCluster || size == 0 || size > (uint64_t(1) << 29))
                return false;
            clues.bitmapCluster = first;
            clues.bitmapLength = size;
            bitmap = true;
        } else if (type == kTypeUpcaseTable && !upcase) {
            if (first < kFirstCluster || size < 2 || size > kMaxUpcaseLength || size % 2 != 0)
                return false;
            clues.upcaseCluster = first;
            clues.upcaseLength = size;
            clues.upcaseChecksum = ZelLE32(entry + kUpcaseChecksum);
            upcase = true;
        }
    }
    return bitmap && upcase;
}

uint64_t ZelExfatRootSearchBound(uint64_t volumeSize)
{
    const uint64_t floor = uint64_t(8) << 20, ceiling = uint64_t(64) << 20;
    return std::min(volumeSize, std::max(floor, std::min(ceiling, volumeSize / 32)));
}

bool ZelFindExfatRoot(CZelVolumeSource& source, uint64_t bound, uint64_t& offset, CExfatRootClues& clues)
{
    // The boot regions come first, however large the sectors.
    const uint64_t start = 2 * kBootRegionSectors * kSector;
    return ReadChunks(source, start, bound, [&](uint64_t at, const uint8_t* bytes, size_t length) {
        for (size_t in = 0; in + kSector <= length; in += kSector) {
            if (ZelDecodeExfatRootClues(bytes + in, kSector, clues)) {
                offset = at + in;
                return true;
            }
        }
        return false;
    });
}

bool ZelRebuildExfatLayout(CZelVolumeSource& source, CExfatBootSector& boot, bool& hasTable, std::string& found,
                           std::string& problem)
{
    const uint64_t volumeSize = source.Size();
    uint64_t root = 0;
    CExfatRootClues clues;
    if (volumeSize < (uint64_t(1) << 20) || !ZelFindExfatRoot(source, ZelExfatRootSearchBound(volumeSize), root, clues)) {
        problem = "no exFAT root directory was found";
        return false;
    }
    // The up-case table, by its checksum, on a sector start near the root
    // directory.
    uint64_t upcase = 0;
    std::vector<uint8_t> table(static_cast<size_t>(clues.upcaseLength));
    const uint64_t searchFrom = 2 * kBootRegionSectors * kSector;
    const bool haveUpcase = ReadChunks(
        source, searchFrom, std::min(volumeSize, root + (uint64_t(64) << 20)),
        [&](uint64_t at, const uint8_t* bytes, size_t length) {
            for (size_t in = 0; in + 8 <= length; in += kSector) {
                // Every table maps the first units to themselves: one by
                // one, or as a run of units that are their own capitals.
                // (An erased sector, all ones, is no such run.)
                const bool identity = ZelLE32(bytes + in) == 0x00010000 && ZelLE32(bytes + in + 4) == 0x00030002;
                const uint16_t run = ZelLE16(bytes + in + 2);
                if (!identity && (ZelLE16(bytes + in) != 0xFFFF || run == 0 || run == 0xFFFF))
                    continue;
                // The table from the bytes at hand where they hold it.
                const bool here = in + table.size() <= length;
                if ((here || ReadWhole(source, at + in, table)) &&
                    ZelExfatTableChecksum(here ? bytes + in : table.data(), table.size()) == clues.upcaseChecksum) {
                    upcase = at + in;
                    return true;
                }
            }
            return false;
        });
    if (!haveUpcase) {
        problem = "an exFAT root directory was found at byte " + std::to_string(root) + ", but not its up-case table";
        return false;
    }

    // The root directory's folders, for checking each layout against.
    std::vector<uint8_t> rootBytes(static_cast<size_t>(std::min<uint64_t>(kRootBytesRead, volumeSize - root)));
    rootBytes.resize(ZelReadRetrying(source, root, rootBytes.data(), rootBytes.size()).bytes);
    std::vector<uint32_t> folders;
    for (size_t at = 0; at + kEntrySize <= rootBytes.size() && folders.size() < kMaxFoldersChecked; at += kEntrySize) {
        if ((rootBytes[at] & 0x7F) != (kTypeFile & 0x7F))
            continue;
        CExfatEntrySet set;
        std::string why;
        if (ZelDecodeExfatEntrySet(rootBytes.data() + at, rootBytes.size() - at, set, why) == ExfatSetCheck::Set &&
            set.IsDirectory() && set.firstCluster >= kFirstCluster)
            folders.push_back(set.firstCluster);
    }

    std::vector<Candidate> sound;
    std::vector<uint8_t> head(kSector);
    for (uint32_t shift = kMinBytesPerSectorShift; shift <= kMaxClusterShift; ++shift) {
        const uint64_t cluster = uint64_t(1) << shift;
        const uint64_t before = (clues.upcaseCluster - kFirstCluster) * cluster;
        if (before > upcase)
            break;
        Candidate c;
        c.shift = shift;
        c.heap = upcase - before;
        if (c.heap < searchFrom || root < c.heap || (root - c.heap) % cluster != 0 || (root - c.heap) / cluster > kMaxClusterCount)
            continue;
        c.rootCluster = static_cast<uint32_t>((root - c.heap) / cluster + kFirstCluster);
        c.clusterCount = std::min<uint64_t>({clues.bitmapLength * 8, (volumeSize - c.heap) / cluster, kMaxClusterCount});
        const uint64_t last = c.clusterCount + 1;
        if (c.clusterCount == 0 || c.rootCluster > last || clues.upcaseCluster > last || clues.bitmapCluster > last)
            continue;
        // The bitmap marks its own clusters, the table's and the root
        // directory's in use.
        const uint64_t bitmapAt = c.heap + (clues.bitmapCluster - kFirstCluster) * cluster;
        const uint64_t highest = std::max({clues.bitmapCluster, clues.upcaseCluster, c.rootCluster});
        if ((highest - kFirstCluster) / 8 >= kMaxBitmapHead)
            continue;
        std::vector<uint8_t> bitmap(static_cast<size_t>(std::min<uint64_t>(clues.bitmapLength, (highest - 1) / 8 + 1)));
        if (!ReadWhole(source, bitmapAt, bitmap) || !BitSet(bitmap, clues.bitmapCluster) ||
            !BitSet(bitmap, clues.upcaseCluster) || !BitSet(bitmap, c.rootCluster))
            continue;
        // Each folder the root directory names opens with entries.
        for (uint32_t folder : folders) {
            if (folder > last || !ReadWhole(source, c.heap + (folder - kFirstCluster) * cluster, head))
                continue;
            const uint8_t type = head[kEntryType];
            c.score += (type & 0x7F) == (kTypeFile & 0x7F) ? 1 : type == kTypeEndOfDirectory ? 0 : -1;
        }
        if (c.score >= 0)
            sound.push_back(c);
    }
    std::sort(sound.begin(), sound.end(), [](const Candidate& a, const Candidate& b) { return a.score > b.score; });
    if (sound.empty() || (sound.size() > 1 && sound[0].score == sound[1].score)) {
        problem = sound.empty() ? "no cluster size agrees with the root directory found at byte " + std::to_string(root)
                                : "more than one cluster size agrees with the root directory found at byte " +
                                      std::to_string(root);
        return false;
    }
    const Candidate& best = sound.front();

    // The allocation table opens with F8 FF FF FF and FF FF FF FF.
    const uint64_t tableBytes = (best.clusterCount + 2) * 4;
    uint64_t table0 = 0;
    hasTable = ReadChunks(source, searchFrom, best.heap, [&](uint64_t at, const uint8_t* bytes, size_t length) {
        for (size_t in = 0; in + 8 <= length; in += kSector)
            if (ZelLE32(bytes + in) == 0xFFFFFFF8 && ZelLE32(bytes + in + 4) == 0xFFFFFFFF) {
                table0 = at + in;
                return true;
            }
        return false;
    });
    hasTable = hasTable && table0 + tableBytes <= best.heap;

    boot = CExfatBootSector();
    boot.volumeLength = volumeSize / kSector;
    boot.fatOffset = static_cast<uint32_t>((hasTable ? table0 : searchFrom) / kSector);
    boot.fatLength = static_cast<uint32_t>((tableBytes + kSector - 1) / kSector);
    boot.clusterHeapOffset = static_cast<uint32_t>(best.heap / kSector);
    boot.clusterCount = static_cast<uint32_t>(best.clusterCount);
    boot.rootCluster = best.rootCluster;
    boot.revision = 0x0100;
    boot.bytesPerSectorShift = 9;
    boot.sectorsPerClusterShift = static_cast<uint8_t>(best.shift - 9);
    boot.numberOfFats = 1;
    boot.sectorSize = static_cast<uint32_t>(kSector);
    boot.clusterSize = uint64_t(1) << best.shift;
    boot.volumeSize = boot.volumeLength * kSector;
    boot.fatBytesOffset = static_cast<uint64_t>(boot.fatOffset) * kSector;
    boot.heapBytesOffset = best.heap;
    boot.lastCluster = boot.clusterCount + 1;
    found = "both boot regions are gone; the layout was found from the root directory at byte " + std::to_string(root) +
            ": clusters of " + std::to_string(boot.clusterSize) + " bytes from byte " + std::to_string(best.heap) +
            (hasTable ? "" : "; no allocation table was found, so no cluster chain can be followed");
    return true;
}
