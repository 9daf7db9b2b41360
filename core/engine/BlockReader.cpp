#include "engine/BlockReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

CBlockReader::CBlockReader(int32_t blockSize) : m_BlockSize(std::min(blockSize, kMaxBlockSize)) {}

void CBlockReader::Attach(std::unique_ptr<CZelVolumeSource> source)
{
    m_pSource = std::move(source);
}

const std::string& CBlockReader::Path() const
{
    static const std::string none;
    return m_pSource ? m_pSource->Path() : none;
}

CZelRead CBlockReader::ReadAt(uint64_t offset, void* destination, size_t count)
{
    CZelRead read;
    if (!m_pSource) {
        read.end = ZelReadEnd::Failed;
        read.error = EBADF;
        return read;
    }
    if (m_BlockSize < 2 || count == 0)
        return m_pSource->ReadAt(offset, destination, count);
    const uint64_t block = static_cast<uint64_t>(m_BlockSize);
    const uint64_t start = offset - offset % block;
    const uint64_t lead = offset - start;
    if (lead == 0 && count % block == 0)
        return m_pSource->ReadAt(offset, destination, count);
    // The whole blocks around the bytes asked for.
    uint64_t span = lead + count;
    span += (block - span % block) % block;
    m_Scratch.resize(static_cast<size_t>(span));
    CZelRead whole = m_pSource->ReadAt(start, m_Scratch.data(), m_Scratch.size());
    read.end = whole.end;
    read.error = whole.error;
    read.bytes = whole.bytes > lead ? std::min<size_t>(count, static_cast<size_t>(whole.bytes - lead)) : 0;
    std::memcpy(destination, m_Scratch.data() + lead, read.bytes);
    // What the blocks held past the bytes asked for does not count.
    if (read.bytes == count)
        read.end = ZelReadEnd::Complete;
    return read;
}
