// LZNT1, the compression NTFS uses for compressed streams: a compression
// unit's clusters hold chunks, each of which gives up to 4096 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// Decompresses the chunks in (inSize bytes) into out (room for outSize
// bytes); produced tells how many bytes were written. It stops at a chunk
// header of 0, at the end of the input, or when out is full. False when a
// chunk is malformed (a back-reference before the chunk's start, a chunk
// running past the input); what was written before it stays.
bool ZelLznt1Decompress(const uint8_t* in, size_t inSize, uint8_t* out, size_t outSize, size_t& produced);
