// Restore plans of exFAT files, on a volume described by hand: which
// clusters are read, which are lost to other files, and where a plan must
// stop; and the timestamps restored files get.
#include "exfat/ExfatRestorePlan.h"
#include "exfat/ExfatTimestamp.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

namespace {

// A volume of 100 clusters of 4 KiB with a table and a bitmap in memory.
struct Volume {
    std::map<uint32_t, uint32_t> fat;
    std::set<uint32_t> used;
    std::set<uint32_t> unreadableFat;

    CExfatVolumeFacts Facts()
    {
        CExfatVolumeFacts facts;
        facts.clusterSize = 4096;
        facts.lastCluster = 101;
        facts.state = [this](uint32_t c) {
            return used.count(c) ? ExfatClusterState::InUse : ExfatClusterState::Free;
        };
        facts.next = [this](uint32_t c, uint32_t& v) {
            if (unreadableFat.count(c))
                return false;
            auto it = fat.find(c);
            v = it == fat.end() ? 0 : it->second;
            return true;
        };
        return facts;
    }
};

CExfatFileExtent Extent(uint32_t first, uint64_t bytes, bool contiguous, bool live = false)
{
    CExfatFileExtent e;
    e.firstCluster = first;
    e.validDataLength = bytes;
    e.noFatChain = contiguous;
    e.live = live;
    return e;
}

std::vector<uint32_t> Clusters(const CExfatRestorePlan& plan, bool lost = false)
{
    std::vector<uint32_t> out;
    for (const CExfatPiece& p : plan.pieces)
        if (p.lost == lost)
            for (uint32_t i = 0; i < p.count; ++i)
                out.push_back(p.first + i);
    return out;
}

} // namespace

TEST(ExfatRestorePlan, AContiguousFileIsOneRunAndClustersTakenSinceAreLostInPlace)
{
    Volume v;
    CExfatRestorePlan plan = ZelPlanExfatRestore(Extent(10, 3 * 4096 + 1, true), v.Facts());
    EXPECT_EQ(plan.needed, 4u);
    ASSERT_EQ(plan.pieces.size(), 1u);
    EXPECT_EQ(plan.pieces[0].first, 10u);
    EXPECT_EQ(plan.pieces[0].count, 4u);
    EXPECT_TRUE(plan.stop.empty());

    // A cluster in the middle holds another file now: kept in place as lost.
    v.used.insert(11);
    plan = ZelPlanExfatRestore(Extent(10, 4 * 4096, true), v.Facts());
    EXPECT_EQ(Clusters(plan), (std::vector<uint32_t>{10, 12, 13}));
    EXPECT_EQ(Clusters(plan, true), (std::vector<uint32_t>{11}));
    EXPECT_EQ(plan.covered, 4u);
    EXPECT_EQ(plan.lost, 1u);
    // A live file's clusters are all its own.
    plan = ZelPlanExfatRestore(Extent(10, 4 * 4096, true, true), v.Facts());
    EXPECT_EQ(plan.lost, 0u);

    // The heap ends: the plan says so and stops.
    plan = ZelPlanExfatRestore(Extent(99, 5 * 4096, true), v.Facts());
    EXPECT_EQ(plan.covered, 3u);
    EXPECT_EQ(plan.stop, "the volume ends after 3 of its 5 clusters");
    // Nothing but the valid data is planned; an empty file needs nothing.
    EXPECT_TRUE(ZelPlanExfatRestore(Extent(0, 0, false), v.Facts()).pieces.empty());
    plan = ZelPlanExfatRestore(Extent(1, 10, true), v.Facts());
    EXPECT_EQ(plan.covered, 0u);
    EXPECT_EQ(plan.stop, "its first cluster, 1, lies outside the cluster heap");
}

TEST(ExfatRestorePlan, AnIntactChainIsFollowedAndOneThatCannotBeSaysWhere)
{
    Volume v;
    v.fat = {{20, 40}, {40, 41}, {41, 21}, {21, 0xFFFFFFFF}};
    CExfatRestorePlan plan = ZelPlanExfatRestore(Extent(20, 4 * 4096, false), v.Facts());
    EXPECT_EQ(Clusters(plan), (std::vector<uint32_t>{20, 40, 41, 21}));
    EXPECT_FALSE(plan.guessed);
    EXPECT_TRUE(plan.stop.empty());

    // Fewer clusters than the size needs.
    plan = ZelPlanExfatRestore(Extent(20, 6 * 4096, false), v.Facts());
    EXPECT_EQ(plan.covered, 4u);
    EXPECT_EQ(plan.stop, "its chain ends after 4 of its 6 clusters");

    // A chain through a cluster another file holds now: its entry is the
    // new owner's, so nothing after it is followed.
    v.used.insert(41);
    plan = ZelPlanExfatRestore(Extent(20, 4 * 4096, false), v.Facts());
    EXPECT_EQ(Clusters(plan), (std::vector<uint32_t>{20, 40}));
    EXPECT_EQ(plan.stop, "cluster 41 of its chain is in use by another file now, after 2 of its 4 clusters");
    v.used = {20};
    plan = ZelPlanExfatRestore(Extent(20, 4 * 4096, false), v.Facts());
    EXPECT_EQ(plan.covered, 0u);
    EXPECT_EQ(plan.stop, "its first cluster is in use by another file now");
    v.used.clear();

    // A loop ends the chain where it comes back.
    v.fat[21] = 40;
    plan = ZelPlanExfatRestore(Extent(20, 10 * 4096, false), v.Facts());
    EXPECT_EQ(plan.covered, 4u);
    EXPECT_EQ(plan.stop, "its chain comes back to cluster 40 after 4 of its 10 clusters");

    // A table that cannot be read.
    v.unreadableFat.insert(40);
    plan = ZelPlanExfatRestore(Extent(20, 4 * 4096, false), v.Facts());
    EXPECT_EQ(plan.covered, 2u);
    EXPECT_EQ(plan.stop, "the allocation table could not be read after 2 of its 4 clusters");
}

TEST(ExfatRestorePlan, AClearedChainIsGuessedFromTheFreeClustersThatFollow)
{
    Volume v;
    // The file went around two live clusters; its chain was cleared.
    v.used = {31, 32};
    CExfatRestorePlan plan = ZelPlanExfatRestore(Extent(30, 4 * 4096, false), v.Facts());
    EXPECT_TRUE(plan.guessed);
    EXPECT_EQ(Clusters(plan), (std::vector<uint32_t>{30, 33, 34, 35}));
    EXPECT_EQ(plan.lost, 0u);
    // A one-cluster file needs no chain: no guess.
    plan = ZelPlanExfatRestore(Extent(30, 4096, false), v.Facts());
    EXPECT_FALSE(plan.guessed);
    EXPECT_EQ(plan.covered, 1u);
    // A live file whose chain is cut is no deleted file to guess for.
    plan = ZelPlanExfatRestore(Extent(30, 3 * 4096, false, true), v.Facts());
    EXPECT_FALSE(plan.guessed);
    EXPECT_EQ(plan.stop, "its chain ends after 1 of its 3 clusters");
    // A full volume ends the guess instead of scanning all of it.
    for (uint32_t c = 36; c <= 101; ++c)
        v.used.insert(c);
    plan = ZelPlanExfatRestore(Extent(30, 10 * 4096, false), v.Facts());
    EXPECT_EQ(plan.covered, 4u);
    EXPECT_EQ(plan.stop, "the volume ends after 4 of its 10 clusters");
}

TEST(ExfatRestorePlan, PlansOfOneScanShareABudgetOfClustersToStepOver)
{
    Volume v;
    CExfatVolumeFacts facts = v.Facts();
    uint64_t budget = 10;
    facts.budget = &budget;
    CExfatRestorePlan plan = ZelPlanExfatRestore(Extent(10, 6 * 4096, true), facts);
    EXPECT_EQ(plan.covered, 6u);
    EXPECT_TRUE(plan.stop.empty());
    plan = ZelPlanExfatRestore(Extent(40, 6 * 4096, true), facts);
    EXPECT_EQ(plan.covered, 4u);
    EXPECT_EQ(plan.stop, kExfatBudgetStop);
    EXPECT_EQ(budget, 0u);
    EXPECT_EQ(ZelPlanExfatRestore(Extent(40, 4096, false), facts).covered, 0u);
}

TEST(ExfatTimestamp, FieldsOffsetsAndHundredthsMakeTheMoment)
{
    // 2025-04-12 13:25:02, +1.37 s, written at UTC+02:00 (8 quarters).
    const uint32_t stamp = (45u << 25) | (4u << 21) | (12u << 16) | (13u << 11) | (25u << 5) | 1u;
    timespec t{};
    ASSERT_TRUE(ZelExfatTime(stamp, 137, 0x80 | 8, t));
    EXPECT_EQ(t.tv_sec, 1744464303 - 2 * 3600); // 2025-04-12 11:25:03 UTC
    EXPECT_EQ(t.tv_nsec, 370000000);
    // West of UTC: -05:00 is -20 quarters, seven bits signed.
    ASSERT_TRUE(ZelExfatTime(stamp, 0, 0x80 | (128 - 20), t));
    EXPECT_EQ(t.tv_sec, 1744464302 + 5 * 3600);
    // Fields that name no time give none.
    EXPECT_FALSE(ZelExfatTime(0, 0, 0x80, t));                     // month 0
    EXPECT_FALSE(ZelExfatTime(stamp | (24u << 11), 0, 0x80, t));   // hour 24 and more
    EXPECT_FALSE(ZelExfatTime(stamp, 200, 0x80, t));
    // 31 April, and 29 February of a year that had none; 2024 had one.
    EXPECT_FALSE(ZelExfatTime((45u << 25) | (4u << 21) | (31u << 16), 0, 0x80, t));
    EXPECT_FALSE(ZelExfatTime((45u << 25) | (2u << 21) | (29u << 16), 0, 0x80, t));
    EXPECT_TRUE(ZelExfatTime((44u << 25) | (2u << 21) | (29u << 16), 0, 0x80, t));
}
