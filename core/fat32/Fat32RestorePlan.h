// Which clusters the restore of a deleted file reads. A deleted file's chain
// is cleared, so its clusters are taken from its first cluster on; clusters
// in use belong to other files (a file fragments around the files written
// before it) and are passed over, until the file's size is reached.
#pragma once

#include "fat32/FatAllocationMap.h"

#include <cstdint>
#include <unordered_set>
#include <vector>

struct CFatClusterRun {
    uint32_t first = 0;
    uint32_t count = 0;
};

struct CFatRestorePlan {
    std::vector<CFatClusterRun> runs;
    // Clusters the size needs.
    uint64_t needed = 0;
    // Clusters the volume ends before: the file is cut there.
    uint64_t missing = 0;
};

// The plan for a file of size bytes starting at cluster start. A start
// outside the data region gives no runs: everything is missing.
CFatRestorePlan ZelPlanFatRestore(const CFatAllocationMap& map, uint32_t start, uint64_t size, uint64_t clusterSize);

// Clusters of a file whose chain is live: the table's chain from start, at
// most the clusters the size needs, ending at a loop, a free or bad entry.
// What it lacks is missing.
// next gives a cluster's table entry (false when it cannot be read).
template <typename NextCluster>
CFatRestorePlan ZelPlanFatChain(uint32_t start, uint64_t size, uint64_t clusterSize, uint32_t lastCluster,
                                NextCluster next)
{
    CFatRestorePlan plan;
    plan.needed = clusterSize == 0 ? 0 : (size + clusterSize - 1) / clusterSize;
    uint64_t taken = 0;
    uint32_t cluster = start;
    // A chain that comes back to a cluster it holds ends there.
    std::unordered_set<uint32_t> seen;
    while (taken < plan.needed && cluster >= 2 && cluster <= lastCluster && seen.insert(cluster).second) {
        if (!plan.runs.empty() && plan.runs.back().first + plan.runs.back().count == cluster)
            ++plan.runs.back().count;
        else
            plan.runs.push_back({cluster, 1});
        ++taken;
        uint32_t value = 0;
        if (taken >= plan.needed || !next(cluster, value))
            break;
        cluster = value;
    }
    plan.missing = plan.needed - taken;
    return plan;
}
