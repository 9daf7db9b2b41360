#include "fat32/FatTable.h"

#include "jexcommon/ByteOrder.h"

#include <algorithm>

uint64_t ZelFatEntryOffset(int bits, uint32_t cluster)
{
    return static_cast<uint64_t>(cluster) * static_cast<uint64_t>(bits) / 8;
}

size_t ZelFatEntryBytes(int bits)
{
    return bits == 32 ? 4 : 2;
}

uint64_t ZelFatEntriesIn(int bits, uint64_t tableBytes)
{
    if (bits != 12 && bits != 16 && bits != 32)
        return 0;
    // The last FAT12 entry needs the byte its neighbour shares.
    return tableBytes * 8 / static_cast<uint64_t>(bits);
}

uint32_t ZelDecodeFatEntry(const uint8_t* at, int bits, uint32_t cluster)
{
    switch (bits) {
    case 12: {
        const uint16_t pair = ZelLE16(at);
        return (cluster & 1) != 0 ? pair >> 4 : pair & 0x0FFF;
    }
    case 16:
        return ZelLE16(at);
    default:
        return ZelLE32(at) & 0x0FFFFFFF;
    }
}

CFatTableReader::CFatTableReader(CZelVolumeSource& source, const CFatBootSector& boot, Vanished vanished)
    : m_Source(source), m_Boot(boot), m_Vanished(std::move(vanished))
{
}

CFatTableReader::Lookup CFatTableReader::Read(uint32_t cluster, uint32_t& value)
{
    const int bits = m_Boot.variant;
    const uint64_t tableBytes = m_Boot.fatBytes;
    const uint64_t entry = ZelFatEntryOffset(bits, cluster);
    const size_t width = ZelFatEntryBytes(bits);
    // An entry past the end of the table cannot be read.
    if (cluster >= ZelFatEntriesIn(bits, tableBytes) || entry + width > tableBytes)
        return Lookup::Beyond;
    if (m_Window.empty() || entry < m_WindowStart || entry + width > m_WindowStart + m_Window.size()) {
        const uint64_t start = entry - entry % kWindow;
        if (m_Gone || m_Unreadable.count(start) != 0)
            return Lookup::Unreadable;
        m_Window.clear();
        m_WindowStart = start;
        const size_t wanted = static_cast<size_t>(std::min(kWindow, tableBytes - start));
        // The first table, or where it cannot be read the second.
        CZelRead read;
        for (uint32_t copy = 0; copy < std::min<uint32_t>(m_Boot.numberOfFats, 2); ++copy) {
            m_Window.resize(wanted);
            const uint64_t at = m_Boot.fatOffset + copy * tableBytes + start;
            read = ZelReadRetrying(m_Source, at, m_Window.data(), wanted);
            if (read.end != ZelReadEnd::Failed)
                break;
        }
        m_Window.resize(read.bytes);
        if (read.end == ZelReadEnd::Failed || read.end == ZelReadEnd::Vanished) {
            m_Window.clear();
            m_Unreadable.insert(start);
            // A stretch that fails was counted when the table was first
            // read whole; a device gone ends the scan.
            if (read.end == ZelReadEnd::Vanished) {
                m_Gone = true;
                if (m_Vanished)
                    m_Vanished(read, m_Boot.fatOffset + start, wanted);
            }
            return Lookup::Unreadable;
        }
        if (entry + width > m_WindowStart + m_Window.size())
            return Lookup::Beyond;
    }
    value = ZelDecodeFatEntry(&m_Window[static_cast<size_t>(entry - m_WindowStart)], bits, cluster);
    return Lookup::Value;
}

bool CFatTableReader::Next(uint32_t cluster, uint32_t& next)
{
    return Read(cluster, next) == Lookup::Value && next >= 2 && next <= m_Boot.lastCluster;
}
