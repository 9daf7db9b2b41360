#include "carve/CarveInflate.h"

#include <cstring>

CZelCarveInflate::CZelCarveInflate() : m_Out(65536) {}

CZelCarveInflate::~CZelCarveInflate()
{
    if (m_Started)
        inflateEnd(&m_Z);
}

bool CZelCarveInflate::Restart()
{
    if (m_Started)
        inflateEnd(&m_Z);
    std::memset(&m_Z, 0, sizeof m_Z);
    m_Started = inflateInit2(&m_Z, -MAX_WBITS) == Z_OK;
    m_Ended = false;
    m_Broken = !m_Started;
    m_Crc = crc32(0L, Z_NULL, 0);
    m_Length = 0;
    return m_Started;
}

size_t CZelCarveInflate::Take(const uint8_t* bytes, size_t size)
{
    if (!m_Started || m_Ended || m_Broken)
        return 0;
    m_Z.next_in = const_cast<Bytef*>(bytes);
    m_Z.avail_in = static_cast<uInt>(size);
    while (m_Z.avail_in > 0) {
        // What one byte read may cost is bounded: past 256 MiB, a stream
        // that inflates to more than 64 times its size is not followed.
        if (m_Length > (uint64_t(256) << 20) && m_Length / 64 > m_Z.total_in) {
            m_Broken = true;
            break;
        }
        m_Z.next_out = m_Out.data();
        m_Z.avail_out = static_cast<uInt>(m_Out.size());
        const int result = inflate(&m_Z, Z_NO_FLUSH);
        const size_t produced = m_Out.size() - m_Z.avail_out;
        m_Crc = crc32(m_Crc, m_Out.data(), static_cast<uInt>(produced));
        m_Length += produced;
        if (result == Z_STREAM_END) {
            m_Ended = true;
            break;
        }
        if (result != Z_OK && result != Z_BUF_ERROR) {
            m_Broken = true;
            break;
        }
        // No progress: zlib wants more input than there is.
        if (result == Z_BUF_ERROR && m_Z.avail_out != 0)
            break;
    }
    return size - m_Z.avail_in;
}
