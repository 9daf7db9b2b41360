#include "exfat/ExfatUpcase.h"

#include "jexcommon/ByteOrder.h"

void ZelDecodeExfatUpcase(const uint8_t* bytes, size_t length, std::vector<uint16_t>& map)
{
    map.resize(65536);
    for (size_t c = 0; c < map.size(); ++c)
        map[c] = static_cast<uint16_t>(c);
    size_t unit = 0;
    const size_t units = length / 2;
    for (size_t i = 0; i < units && unit < map.size(); ++i) {
        const uint16_t value = ZelLE16(bytes + 2 * i);
        if (value == 0xFFFF && i + 1 < units) {
            // A run of units that are their own capitals.
            unit += ZelLE16(bytes + 2 * (i + 1));
            ++i;
            continue;
        }
        map[unit++] = value;
    }
}

uint32_t ZelExfatTableChecksum(const uint8_t* bytes, size_t length)
{
    uint32_t sum = 0;
    for (size_t i = 0; i < length; ++i)
        sum = ((sum & 1) ? 0x80000000u : 0u) + (sum >> 1) + bytes[i];
    return sum;
}
