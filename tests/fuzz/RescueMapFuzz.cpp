// libFuzzer target: the input as a GNU ddrescue map. A map that is taken
// must describe ordered stretches, and what it calls readable must lie
// inside them.
#include "jexplatform/RescueMap.h"

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CZelRescueMap map;
    std::string error;
    if (!CZelRescueMap::Parse(reinterpret_cast<const char*>(data), size, map, error)) {
        if (error.rfind("line ", 0) != 0) {
            std::fprintf(stderr, "jexfuzz: a refusal that names no line: %s\n", error.c_str());
            std::abort();
        }
        return 0;
    }
    uint64_t end = 0;
    for (const CZelRescueBlock& block : map.Blocks()) {
        if (block.size == 0 || block.offset < end) {
            std::fprintf(stderr, "jexfuzz: block at %llu out of order\n", static_cast<unsigned long long>(block.offset));
            std::abort();
        }
        end = block.offset + block.size;
        // A finished block reads whole; any other not at all.
        const uint64_t readable = map.Readable(block.offset, block.size);
        if (readable != (block.status == '+' ? block.size : 0)) {
            std::fprintf(stderr, "jexfuzz: block at %llu reads %llu\n", static_cast<unsigned long long>(block.offset),
                         static_cast<unsigned long long>(readable));
            std::abort();
        }
    }
    if (map.UnreadBytes(end) > end)
        std::abort();
    return 0;
}
