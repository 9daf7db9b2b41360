// The exFAT up-case table: the capital of every UTF-16 unit, by which name
// hashes are taken. It is kept compressed on the volume: a unit 0xFFFF and
// a count stand for that many units that are their own capitals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Fills map with the capitals of all 65,536 units from length bytes of a
// table; units the table does not reach are their own capitals.
void ZelDecodeExfatUpcase(const uint8_t* bytes, size_t length, std::vector<uint16_t>& map);

// The checksum an up-case table's directory entry records.
uint32_t ZelExfatTableChecksum(const uint8_t* bytes, size_t length);
