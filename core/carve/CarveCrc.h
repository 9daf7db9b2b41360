// The check sums of formats that compute theirs most significant bit first,
// without reflection or final inversion: Ogg pages (CRC-32, polynomial
// 0x04C11DB7), FLAC frames (CRC-16, 0x8005) and FLAC frame headers (CRC-8,
// 0x07). One table each, made when the program is compiled.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

template <typename T, T kPolynomial>
class CZelMsbCrc {
public:
    // The check sum carried on over one more byte.
    static T Step(T crc, uint8_t byte)
    {
        const uint32_t index = (static_cast<uint32_t>(crc) >> (kBits - 8)) ^ byte;
        return static_cast<T>((static_cast<uint64_t>(crc) << 8) ^ kTable[index & 0xFF]);
    }
    static T Of(T crc, const uint8_t* bytes, size_t size)
    {
        for (size_t i = 0; i < size; ++i)
            crc = Step(crc, bytes[i]);
        return crc;
    }

private:
    static constexpr unsigned kBits = 8 * sizeof(T);
    static constexpr std::array<T, 256> MakeTable()
    {
        std::array<T, 256> table{};
        const uint64_t top = uint64_t(1) << (kBits - 1);
        const uint64_t mask = top | (top - 1);
        for (uint32_t i = 0; i < 256; ++i) {
            uint64_t r = static_cast<uint64_t>(i) << (kBits - 8);
            for (int k = 0; k < 8; ++k)
                r = ((r & top) != 0 ? (r << 1) ^ kPolynomial : r << 1) & mask;
            table[i] = static_cast<T>(r);
        }
        return table;
    }
    static constexpr std::array<T, 256> kTable = MakeTable();
};

using CZelOggCrc = CZelMsbCrc<uint32_t, 0x04C11DB7u>;
using CZelFlacCrc16 = CZelMsbCrc<uint16_t, 0x8005>;
using CZelFlacCrc8 = CZelMsbCrc<uint8_t, 0x07>;
