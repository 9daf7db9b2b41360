#include "fat32/BlockReader.h"

#include "platform/DiagLog.h"

#include <algorithm>
#include <cstring>

CBlockReader::CBlockReader(int32_t blockSize) : m_BlockSize(std::min(blockSize, kMaxBlockSize))
{
    if (m_BlockSize >= 2)
        m_Buffer.resize(static_cast<size_t>(m_BlockSize));
}

int32_t CBlockReader::open(const std::string& path, std::string& error)
{
    close();
    if (path.empty()) {
        error = "no volume path";
        return -1;
    }
    return m_Device.Open(path, error) ? 0 : -1;
}

void CBlockReader::close()
{
    m_Device.Close();
    m_Position = 0;
    m_BufferValid = 0;
}

bool CBlockReader::Load(uint64_t position)
{
    const uint64_t block = static_cast<uint64_t>(m_BlockSize);
    uint64_t start = position - position % block;
    int64_t got = m_Device.ReadAt(start, m_Buffer.data(), m_Buffer.size());
    if (got <= 0) {
        m_BufferValid = 0;
        return false;
    }
    m_BufferStart = start;
    m_BufferValid = static_cast<size_t>(got);
    return position < m_BufferStart + m_BufferValid;
}

int64_t CBlockReader::read(size_t count, void* destination)
{
    if (!m_Device.IsOpen())
        return -1;
    uint8_t* out = static_cast<uint8_t*>(destination);
    if (m_BlockSize < 2) {
        int64_t got = m_Device.ReadAt(m_Position, out, count);
        if (got > 0)
            m_Position += static_cast<uint64_t>(got);
        return std::max<int64_t>(got, 0);
    }
    const uint64_t block = static_cast<uint64_t>(m_BlockSize);
    size_t delivered = 0;
    while (delivered < count) {
        size_t wanted = count - delivered;
        if (m_BufferValid != 0 && m_Position >= m_BufferStart && m_Position < m_BufferStart + m_BufferValid) {
            size_t offset = static_cast<size_t>(m_Position - m_BufferStart);
            size_t n = std::min(wanted, m_BufferValid - offset);
            std::memcpy(out + delivered, m_Buffer.data() + offset, n);
            delivered += n;
            m_Position += n;
            continue;
        }
        if (m_Position % block == 0 && wanted >= block) {
            // Whole blocks go straight to the destination.
            size_t whole = wanted - wanted % static_cast<size_t>(block);
            int64_t got = m_Device.ReadAt(m_Position, out + delivered, whole);
            if (got <= 0)
                break;
            delivered += static_cast<size_t>(got);
            m_Position += static_cast<uint64_t>(got);
            if (static_cast<size_t>(got) < whole)
                break;
            continue;
        }
        if (!Load(m_Position))
            break;
    }
    return static_cast<int64_t>(delivered);
}

uint64_t CBlockReader::seek(int64_t offset, int origin)
{
    if (!m_Device.IsOpen())
        return kInvalidPosition;
    switch (origin) {
    case kFromStart:
        if (offset < 0)
            return kInvalidPosition;
        m_Position = static_cast<uint64_t>(offset);
        return m_Position;
    case kFromCurrent:
        if (offset < 0 ? static_cast<uint64_t>(-(offset + 1)) + 1 > m_Position
                       : static_cast<uint64_t>(offset) > kInvalidPosition - 1 - m_Position)
            return kInvalidPosition;
        m_Position += static_cast<uint64_t>(offset);
        return m_Position;
    default:
        ZelLogLine("NOT SUPPORTED");
        return 0;
    }
}
