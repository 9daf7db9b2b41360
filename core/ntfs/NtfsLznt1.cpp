#include "ntfs/NtfsLznt1.h"

#include "jexcommon/ByteOrder.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kChunkSize = 4096;
constexpr uint16_t kChunkCompressed = 0x8000;
constexpr uint16_t kChunkLengthMask = 0x0FFF;

// One compressed chunk of length bytes into out; false when malformed.
bool DecompressChunk(const uint8_t* in, size_t length, uint8_t* out, size_t room, size_t& written)
{
    size_t pos = 0;
    written = 0;
    while (pos < length && written < room) {
        const uint8_t flags = in[pos++];
        for (int bit = 0; bit < 8 && pos < length && written < room; ++bit) {
            if ((flags & (1 << bit)) == 0) {
                out[written++] = in[pos++];
                continue;
            }
            if (pos + 2 > length)
                return false;
            const uint16_t token = ZelLE16(in + pos);
            pos += 2;
            // The split between offset and length bits moves with the
            // position in the chunk: the further in, the more offset bits.
            unsigned lengthBits = 12;
            for (size_t at = written - 1; written > 0 && at >= 0x10; at >>= 1)
                --lengthBits;
            if (written == 0)
                return false;
            const size_t offset = (static_cast<size_t>(token) >> lengthBits) + 1;
            size_t count = (token & ((1u << lengthBits) - 1)) + 3;
            if (offset > written)
                return false;
            count = std::min(count, room - written);
            // Byte by byte: a back-reference may overlap what it writes.
            for (size_t i = 0; i < count; ++i, ++written)
                out[written] = out[written - offset];
        }
    }
    return true;
}

} // namespace

bool ZelLznt1Decompress(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize, size_t& produced)
{
    produced = 0;
    size_t pos = 0;
    while (pos + 2 <= inSize && produced < outSize) {
        const uint16_t header = ZelLE16(in + pos);
        if (header == 0)
            break;
        const size_t length = static_cast<size_t>(header & kChunkLengthMask) + 1;
        pos += 2;
        if (length > inSize - pos)
            return false;
        const size_t room = std::min(kChunkSize, outSize - produced);
        if ((header & kChunkCompressed) == 0) {
            // A chunk stored as it is.
            const size_t n = std::min(length, room);
            std::memcpy(out + produced, in + pos, n);
            produced += n;
        } else {
            size_t written = 0;
            bool ok = DecompressChunk(in + pos, length, out + produced, room, written);
            produced += written;
            if (!ok)
                return false;
            // A chunk that gives less than 4096 bytes before the unit's end
            // is followed by zeros up to the chunk's end.
            if (written < room && pos + length < inSize && ZelLE16(in + pos + length) != 0) {
                std::memset(out + produced, 0, room - written);
                produced += room - written;
            }
        }
        pos += length;
    }
    return true;
}
