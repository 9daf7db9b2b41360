#include "exfat/ExfatRestorePlan.h"

#include "exfat/ExfatLayout.h"

#include <unordered_set>

using namespace exfatlayout;

const char* const kExfatBudgetStop = "the volume's entries claim more clusters than can be followed";

namespace {

// One more cluster stepped over; false once the budget is spent.
bool Spend(const CExfatVolumeFacts& volume)
{
    if (volume.budget == nullptr)
        return true;
    if (*volume.budget == 0)
        return false;
    --*volume.budget;
    return true;
}

void Take(CExfatRestorePlan& plan, uint32_t cluster, bool lost)
{
    ++plan.covered;
    if (lost)
        ++plan.lost;
    if (!plan.pieces.empty()) {
        CExfatPiece& last = plan.pieces.back();
        if (last.lost == lost && static_cast<uint64_t>(last.first) + last.count == cluster) {
            ++last.count;
            return;
        }
    }
    plan.pieces.push_back({cluster, 1, lost});
}

bool InHeap(uint32_t cluster, const CExfatVolumeFacts& volume)
{
    return cluster >= kFirstCluster && cluster <= volume.lastCluster;
}

std::string Counted(uint64_t taken, uint64_t needed)
{
    return std::to_string(taken) + " of its " + std::to_string(needed) + " clusters";
}

// The free clusters from after into the plan until it has what it needs.
void Guess(CExfatRestorePlan& plan, uint32_t after, const CExfatVolumeFacts& volume)
{
    plan.guessed = true;
    uint64_t passed = 0;
    for (uint64_t c = static_cast<uint64_t>(after) + 1; plan.covered < plan.needed; ++c) {
        if (c > volume.lastCluster) {
            plan.stop = "the volume ends after " + Counted(plan.covered, plan.needed);
            return;
        }
        if (!Spend(volume)) {
            plan.stop = kExfatBudgetStop;
            return;
        }
        if (volume.state(static_cast<uint32_t>(c)) == ExfatClusterState::InUse) {
            if (++passed > plan.needed + kExfatGuessSlack) {
                plan.stop = "no more free clusters follow near it after " + Counted(plan.covered, plan.needed);
                return;
            }
            continue;
        }
        Take(plan, static_cast<uint32_t>(c), false);
    }
}

} // namespace

CExfatRestorePlan ZelPlanExfatRestore(const CExfatFileExtent& file, const CExfatVolumeFacts& volume)
{
    CExfatRestorePlan plan;
    if (volume.clusterSize == 0)
        return plan;
    plan.needed = file.validDataLength / volume.clusterSize + (file.validDataLength % volume.clusterSize != 0);
    if (plan.needed == 0)
        return plan;
    if (!InHeap(file.firstCluster, volume)) {
        plan.stop = "its first cluster, " + std::to_string(file.firstCluster) + ", lies outside the cluster heap";
        return plan;
    }
    const auto inUse = [&](uint32_t c) { return !file.live && volume.state(c) == ExfatClusterState::InUse; };

    if (file.noFatChain) {
        const uint64_t room = static_cast<uint64_t>(volume.lastCluster) - file.firstCluster + 1;
        const uint64_t count = plan.needed < room ? plan.needed : room;
        for (uint64_t i = 0; i < count; ++i) {
            if (!Spend(volume)) {
                plan.stop = kExfatBudgetStop;
                return plan;
            }
            const uint32_t c = static_cast<uint32_t>(file.firstCluster + i);
            Take(plan, c, inUse(c));
        }
        if (plan.covered < plan.needed)
            plan.stop = "the volume ends after " + Counted(plan.covered, plan.needed);
        return plan;
    }

    // The chain: once a cluster of it is in use, the table's entry for it
    // is the new owner's, and nothing after it can be followed.
    uint32_t cluster = file.firstCluster;
    std::unordered_set<uint32_t> seen;
    for (;;) {
        if (!Spend(volume)) {
            plan.stop = kExfatBudgetStop;
            return plan;
        }
        if (inUse(cluster)) {
            plan.stop = plan.covered == 0
                            ? "its first cluster is in use by another file now"
                            : "cluster " + std::to_string(cluster) + " of its chain is in use by another file now, after " +
                                  Counted(plan.covered, plan.needed);
            return plan;
        }
        seen.insert(cluster);
        Take(plan, cluster, false);
        if (plan.covered >= plan.needed)
            return plan;
        uint32_t value = 0;
        if (!volume.next(cluster, value)) {
            plan.stop = "the allocation table could not be read after " + Counted(plan.covered, plan.needed);
            return plan;
        }
        if (value == 0 && plan.covered == 1 && !file.live) {
            // Cleared on deletion.
            if (file.guessClearedChain)
                Guess(plan, cluster, volume);
            else
                plan.stop = "its cluster chain was cleared when it was deleted";
            return plan;
        }
        if (!InHeap(value, volume)) {
            plan.stop = "its chain ends after " + Counted(plan.covered, plan.needed);
            return plan;
        }
        if (seen.count(value) != 0) {
            plan.stop = "its chain comes back to cluster " + std::to_string(value) + " after " +
                        Counted(plan.covered, plan.needed);
            return plan;
        }
        cluster = value;
    }
}
