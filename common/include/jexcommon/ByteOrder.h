// Explicit little-endian reads from on-disk bytes, and the big-endian ones
// that file formats use. The caller has checked that the bytes are there.
#pragma once

#include <cstdint>

inline uint16_t ZelLE16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t ZelLE32(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

inline uint64_t ZelLE64(const uint8_t* p)
{
    return static_cast<uint64_t>(ZelLE32(p)) | (static_cast<uint64_t>(ZelLE32(p + 4)) << 32);
}

inline uint16_t ZelBE16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

inline uint32_t ZelBE32(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) | (static_cast<uint32_t>(p[2]) << 8) |
           static_cast<uint32_t>(p[3]);
}

inline uint64_t ZelBE64(const uint8_t* p)
{
    return (static_cast<uint64_t>(ZelBE32(p)) << 32) | static_cast<uint64_t>(ZelBE32(p + 4));
}
