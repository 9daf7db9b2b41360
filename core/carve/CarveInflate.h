// A raw deflate stream inflated as its bytes come, for the formats that
// hold one (ZIP members, gzip): where it ends, and the CRC-32 and length of
// what it holds, which those formats record.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <vector>

class CZelCarveInflate {
public:
    CZelCarveInflate();
    ~CZelCarveInflate();
    CZelCarveInflate(const CZelCarveInflate&) = delete;
    CZelCarveInflate& operator=(const CZelCarveInflate&) = delete;

    // A new stream; false when zlib cannot start one.
    bool Restart();
    // Inflates the next bytes; the number it took, fewer than size only
    // where the stream ended or broke inside them.
    size_t Take(const uint8_t* bytes, size_t size);
    bool Ended() const { return m_Ended; }
    // Not a deflate stream, or one that inflates to more than is followed.
    bool Broken() const { return m_Broken; }
    uint32_t Crc() const { return static_cast<uint32_t>(m_Crc); }
    uint64_t Length() const { return m_Length; }

private:
    z_stream m_Z{};
    bool m_Started = false;
    bool m_Ended = false;
    bool m_Broken = false;
    uLong m_Crc = 0;
    uint64_t m_Length = 0;
    std::vector<uint8_t> m_Out;
};
