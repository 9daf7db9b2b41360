// The byte ranges found files claim, from stretches of clusters, for the
// signature search to leave to them: the same for every engine that counts
// in clusters.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

// Adds [offset, offset + count * clusterSize) for each (first, count) in
// runs whose first cluster offsetOf places (false: not on the volume).
template <typename OffsetOf>
void ZelAddClaimedRanges(const std::vector<std::pair<uint64_t, uint64_t>>& runs, uint64_t clusterSize, OffsetOf offsetOf,
                         std::vector<std::pair<uint64_t, uint64_t>>& ranges)
{
    for (const auto& run : runs) {
        uint64_t offset = 0;
        if (run.first <= UINT32_MAX && offsetOf(static_cast<uint32_t>(run.first), offset))
            ranges.emplace_back(offset, offset + run.second * clusterSize);
    }
}
