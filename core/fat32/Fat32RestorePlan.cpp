#include "fat32/Fat32RestorePlan.h"

CFatRestorePlan ZelPlanFatRestore(const CFatAllocationMap& map, uint32_t start, uint64_t size, uint64_t clusterSize)
{
    CFatRestorePlan plan;
    plan.needed = clusterSize == 0 ? 0 : (size + clusterSize - 1) / clusterSize;
    uint64_t taken = 0;
    if (start >= 2 && start <= map.LastCluster()) {
        uint32_t cluster = start;
        while (taken < plan.needed) {
            cluster = map.NextFree(cluster);
            if (cluster == 0)
                break;
            CFatClusterRun run{cluster, 0};
            while (taken < plan.needed && cluster <= map.LastCluster() && !map.InUse(cluster)) {
                ++run.count;
                ++taken;
                if (cluster == map.LastCluster())
                    break;
                ++cluster;
            }
            plan.runs.push_back(run);
            if (cluster == map.LastCluster() && run.first + run.count > cluster)
                break;
        }
    }
    plan.missing = plan.needed - taken;
    return plan;
}
