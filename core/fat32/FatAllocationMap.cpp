#include "fat32/FatAllocationMap.h"

#include "fat32/FatTable.h"

#include <algorithm>

void CFatAllocationMap::Reset(uint32_t lastCluster)
{
    Cover(lastCluster, static_cast<uint64_t>(lastCluster) + 1);
}

void CFatAllocationMap::Cover(uint32_t lastCluster, uint64_t known)
{
    m_LastCluster = lastCluster;
    m_Known = std::max<uint64_t>(2, std::min<uint64_t>(known, static_cast<uint64_t>(lastCluster) + 1));
    m_Used.assign(static_cast<size_t>(m_Known / 64 + 1), 0);
    // Clusters 0 and 1 are no data clusters.
    m_Used[0] |= 3;
}

bool CFatAllocationMap::Load(CBlockReader& reader, const CFatBootSector& boot, const Progress& progress,
                             const Failure& failed)
{
    const int bits = boot.variant;
    const uint64_t tableBytes = boot.fatBytes;
    // Entries past the table's end, or past the device's, cannot say a
    // cluster is free: such clusters are in use without a bit of their own
    // (a boot sector of a few bytes can claim 268 million clusters).
    uint64_t known = std::min<uint64_t>(static_cast<uint64_t>(boot.lastCluster) + 1, ZelFatEntriesIn(bits, tableBytes));
    const uint64_t deviceSize = reader.Size();
    if (deviceSize != 0)
        known = std::min<uint64_t>(known,
                                   deviceSize > boot.fatOffset ? ZelFatEntriesIn(bits, deviceSize - boot.fatOffset) : 0);
    Cover(boot.lastCluster, known);
    const uint64_t entries = m_Known;
    // Pieces of a whole number of entries of every width.
    constexpr uint64_t kPiece = (uint64_t(1) << 20) / kFatTableAlign * kFatTableAlign;
    const size_t width = ZelFatEntryBytes(bits);
    std::vector<uint8_t> piece;
    const uint64_t bytes = std::min(tableBytes, ZelFatEntryOffset(bits, static_cast<uint32_t>(entries - 1)) + width);
    for (uint64_t start = 0; start < bytes; start += kPiece) {
        const size_t wanted = static_cast<size_t>(std::min(kPiece, bytes - start));
        piece.assign(wanted, 0);
        CZelRead read;
        for (uint32_t copy = 0; copy < std::max<uint32_t>(1, std::min<uint32_t>(boot.numberOfFats, 2)); ++copy) {
            const uint64_t at = boot.fatOffset + copy * tableBytes + start;
            read = ZelReadRetrying(reader, at, piece.data(), wanted);
            if (read.end != ZelReadEnd::Failed)
                break;
        }
        if (read.end == ZelReadEnd::Vanished) {
            if (failed)
                failed(read, boot.fatOffset + start, wanted);
            return false;
        }
        // What neither copy gives (or lies past the device's end) may be in
        // use.
        const size_t got = read.end == ZelReadEnd::Failed ? 0 : read.bytes;
        if (read.end == ZelReadEnd::Failed && failed)
            failed(read, boot.fatOffset + start, wanted);
        // The entries of this piece, and those of them the bytes read hold.
        const uint64_t firstEntry = start * 8 / static_cast<uint64_t>(bits);
        const uint64_t endEntry = std::min<uint64_t>(entries, (start + wanted) * 8 / static_cast<uint64_t>(bits));
        uint64_t readEnd = firstEntry;
        for (uint64_t cluster = std::max<uint64_t>(firstEntry, 2); cluster < endEntry; ++cluster) {
            const uint64_t at = ZelFatEntryOffset(bits, static_cast<uint32_t>(cluster)) - start;
            if (at + width > got)
                break;
            readEnd = cluster + 1;
            if (ZelDecodeFatEntry(&piece[static_cast<size_t>(at)], bits, static_cast<uint32_t>(cluster)) != 0)
                m_Used[static_cast<size_t>(cluster / 64)] |= uint64_t(1) << (cluster % 64);
        }
        // Entries the device did not give: in use, a word at a time (a
        // crafted boot sector can claim millions of them on a device of a
        // few bytes).
        SetRangeInUse(std::max<uint64_t>(readEnd, 2), endEntry);
        if (progress)
            progress(static_cast<double>(start + wanted) / static_cast<double>(bytes));
    }
    return true;
}

void CFatAllocationMap::SetRangeInUse(uint64_t first, uint64_t end)
{
    end = std::min<uint64_t>(end, m_Known);
    for (uint64_t c = first; c < end;) {
        // Whole words where the range covers them, bit by bit at its ends.
        if (c % 64 == 0 && end - c >= 64) {
            m_Used[static_cast<size_t>(c / 64)] = ~uint64_t(0);
            c += 64;
        } else {
            m_Used[static_cast<size_t>(c / 64)] |= uint64_t(1) << (c % 64);
            ++c;
        }
    }
}

bool CFatAllocationMap::InUse(uint32_t cluster) const
{
    if (cluster >= m_Known || m_Used.empty())
        return true;
    return (m_Used[cluster / 64] >> (cluster % 64)) & 1;
}

void CFatAllocationMap::SetInUse(uint32_t cluster, bool used)
{
    // Past the known clusters every cluster is in use already.
    if (cluster >= m_Known || m_Used.empty())
        return;
    uint64_t bit = uint64_t(1) << (cluster % 64);
    if (used)
        m_Used[cluster / 64] |= bit;
    else
        m_Used[cluster / 64] &= ~bit;
}

uint32_t CFatAllocationMap::NextFree(uint32_t cluster) const
{
    if (m_Used.empty())
        return 0;
    // Whole words of clusters in use are passed at once.
    for (uint64_t c = cluster; c < m_Known;) {
        const uint64_t word = m_Used[static_cast<size_t>(c / 64)] | ((uint64_t(1) << (c % 64)) - 1);
        if (word != ~uint64_t(0)) {
            uint64_t found = (c / 64) * 64 + static_cast<uint64_t>(__builtin_ctzll(~word));
            return found < m_Known ? static_cast<uint32_t>(found) : 0;
        }
        c = (c / 64 + 1) * 64;
    }
    return 0;
}

uint64_t CFatAllocationMap::FreeIn(uint32_t first, uint64_t count) const
{
    uint64_t free = 0;
    const uint64_t end = std::min<uint64_t>(static_cast<uint64_t>(first) + count, m_Known);
    for (uint64_t c = first; c < end; ++c)
        free += InUse(static_cast<uint32_t>(c)) ? 0 : 1;
    return free;
}

uint64_t CFatAllocationMap::FreeCount() const
{
    uint64_t used = 0;
    for (uint64_t word : m_Used)
        used += static_cast<uint64_t>(__builtin_popcountll(word));
    // Bits past the known clusters are never set.
    return m_Known - used;
}
