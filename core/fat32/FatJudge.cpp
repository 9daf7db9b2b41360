// Judging the files found: where each restore starts, which clusters it
// reads, and how many of them are still the file's own.
#include "fat32/MUNdelete.h"

#include "engine/ZelClaimedRanges.h"
#include "engine/ZelClaims.h"

#include <algorithm>

void CMUNdelete::ResolveStart(CDirEntry& file)
{
    file.m_StartCluster = file.m_FirstCluster;
    // Some systems clear the high word of the first cluster on deletion. On
    // a volume of more than 65,535 clusters, a start in use by another file
    // may then lie 65,536 clusters (or a multiple) further on: the places
    // where the whole file would lie on free clusters that hold data are the
    // candidates. Never-written space (zeros) is no file's start.
    const uint32_t low = file.m_FirstCluster;
    if (m_Boot.lastCluster <= 0xFFFF || low < 2 || low > 0xFFFF || file.m_Size == 0 || !m_Map.InUse(low))
        return;
    const uint64_t needed = (file.m_Size + m_Boot.clusterSize - 1) / m_Boot.clusterSize;
    // A long file is judged by its first clusters.
    const uint64_t checked = std::min<uint64_t>(needed, 4096);
    uint32_t first = 0, candidates = 0;
    for (uint64_t c = static_cast<uint64_t>(low) + 0x10000; c <= m_Boot.lastCluster; c += 0x10000) {
        if (c + needed - 1 > m_Boot.lastCluster)
            break;
        if (m_Map.FreeIn(static_cast<uint32_t>(c), checked) != checked || !HoldsData(static_cast<uint32_t>(c)))
            continue;
        if (candidates++ == 0)
            first = static_cast<uint32_t>(c);
    }
    if (candidates == 0)
        return;
    file.m_StartCluster = first;
    uint64_t offset = 0;
    file.m_DataOffset = m_Boot.ClusterOffset(first, offset) ? offset : CDirEntry::kNoData;
    if (candidates > 1)
        file.m_EstimateNote = "its start is uncertain: " + std::to_string(candidates) + " places on the volume fit it";
    file.m_StartCandidates = candidates;
}

bool CMUNdelete::HoldsData(uint32_t cluster)
{
    std::vector<uint8_t> bytes;
    return ReadCluster(cluster, bytes, false) &&
           std::any_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 0; });
}

CFatRestorePlan CMUNdelete::PlanRestore(const CDirEntry& file)
{
    if (ReadsFreeClusters(file))
        return ZelPlanFatRestore(m_Map, file.m_StartCluster, file.m_Size, m_Boot.clusterSize);
    return ZelPlanFatChain(file.m_FirstCluster, file.m_Size, m_Boot.clusterSize, m_Boot.lastCluster,
                           [this](uint32_t cluster, uint32_t& next) { return m_pTable && m_pTable->Next(cluster, next); });
}

void CMUNdelete::ClaimedRanges(std::vector<std::pair<uint64_t, uint64_t>>& ranges) const
{
    std::vector<std::pair<uint64_t, uint64_t>> runs = m_Claimed;
    for (uint32_t cluster : m_ReadClusters)
        runs.emplace_back(cluster, 1);
    ZelAddClaimedRanges(
        runs, m_Boot.clusterSize, [this](uint32_t c, uint64_t& offset) { return m_Boot.ClusterOffset(c, offset); }, ranges);
}

void CMUNdelete::JudgeFiles()
{
    // Every file of the found tree, depth first.
    std::vector<CDirEntry*> files;
    std::vector<CDirEntry*> pending;
    for (auto& node : m_Found)
        pending.push_back(node.get());
    while (!pending.empty()) {
        CDirEntry* node = pending.back();
        pending.pop_back();
        for (auto& child : node->m_Children)
            pending.push_back(child.get());
        if (node->m_Type == FatEntryFile)
            files.push_back(node);
    }
    // The clusters the deleted files' restores read, and those that more
    // than one of them reads. Marking stops after a bound of work, so that
    // a volume of crafted entries cannot hold the scan; the files after it
    // are not compared with the others.
    // Restores read free clusters only, and the map knows a free one no
    // further than the table and the device reach.
    const uint64_t known = m_Map.KnownEnd();
    CZelClaims claims;
    uint64_t budget = 16 * (static_cast<uint64_t>(m_Boot.lastCluster) + 1) + (uint64_t(1) << 20);
    std::vector<bool> compared(files.size(), false);
    for (size_t i = 0; i < files.size(); ++i) {
        CDirEntry& file = *files[i];
        if (!ReadsFreeClusters(file))
            continue;
        ResolveStart(file);
        const uint64_t needed = (file.m_Size + m_Boot.clusterSize - 1) / m_Boot.clusterSize;
        if (needed > budget)
            continue;
        budget -= needed;
        compared[i] = true;
        if (m_Map.InUse(file.m_StartCluster))
            continue;
        for (const CFatClusterRun& run : PlanRestore(file).runs)
            if (run.first < known)
                claims.Add(i, run.first, std::min<uint64_t>(run.count, known - run.first));
    }
    claims.Settle();
    m_Claimed = claims.Extents();
    for (size_t i = 0; i < files.size(); ++i) {
        CDirEntry& file = *files[i];
        if (file.m_Size == 0) {
            file.m_Estimate = 100;
            continue;
        }
        std::string& note = file.m_EstimateNote;
        if (!ReadsFreeClusters(file)) {
            CFatRestorePlan plan = PlanRestore(file);
            file.m_Estimate = plan.missing == 0 ? 100 : static_cast<int32_t>(100 * (plan.needed - plan.missing) / plan.needed);
            if (plan.missing != 0)
                note = "its chain ends " + std::to_string(plan.missing) + " clusters before its size";
            continue;
        }
        if (file.m_DataOffset == CDirEntry::kNoData) {
            file.m_Estimate = 0;
            note = "its first cluster lies outside the volume's data";
            continue;
        }
        if (m_Map.InUse(file.m_StartCluster)) {
            file.m_Estimate = 0;
            note = "its first cluster belongs to another file now";
            continue;
        }
        if (!compared[i]) {
            CFatRestorePlan plan = PlanRestore(file);
            file.m_Estimate = static_cast<int32_t>(std::min<uint64_t>(99, 100 * (plan.needed - plan.missing) / plan.needed));
            note = "it was not compared with every other found file";
            continue;
        }
        CFatRestorePlan plan = PlanRestore(file);
        uint64_t shared = 0;
        for (const CFatClusterRun& run : plan.runs)
            shared += claims.SharedIn(run.first, run.count);
        const uint64_t own = plan.needed - plan.missing - shared;
        file.m_Estimate = static_cast<int32_t>(100 * own / plan.needed);
        std::string why;
        if (shared != 0)
            why = std::to_string(shared) + " of its " + std::to_string(plan.needed) +
                  " clusters are also claimed by other found files";
        if (plan.missing != 0)
            why += (why.empty() ? "" : "; ") + std::string("the volume ends ") + std::to_string(plan.missing) +
                   " clusters before the file does";
        if (file.m_StartCandidates > 1)
            file.m_Estimate = std::min<int32_t>(file.m_Estimate, static_cast<int32_t>(100 / file.m_StartCandidates));
        if (!why.empty())
            note = note.empty() ? why : note + "; " + why;
    }
    // Where a folder's later cluster was joined to it by where it lies,
    // the file's path is a guess, whatever its content's chance.
    for (CDirEntry* file : files)
        if (file->IsPlaceGuessed()) {
            std::string& note = file->m_EstimateNote;
            const char* guess = "its folder is a guess: the folder's later cluster that lists it was joined to the "
                                "folder by where it lies on the volume";
            note = note.empty() ? guess : note + "; " + guess;
        }
}
