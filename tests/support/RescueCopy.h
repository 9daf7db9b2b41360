// A copy of a failing disk as people make one: GNU ddrescue reading an
// image through a FUSE file that fails reads on chosen byte ranges
// (failing-disk.py), writing the copy and its map.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace jextest {

// Why a rescued copy cannot be made here (not root, no /dev/fuse, no GNU
// ddrescue or python3-fusepy); empty when it can.
std::string RescueCopyMissing();

// Copies image to copy with GNU ddrescue, writing its map to map; the
// reads of the byte ranges in bad (start, end) fail. False when the copy
// could not be made.
bool RescueCopy(const std::string& image, const std::vector<std::pair<uint64_t, uint64_t>>& bad,
                const std::string& copy, const std::string& map);

} // namespace jextest
