// Judging the files found: which clusters each restore reads and how many
// of them are still the file's own.
#include "exfat/ExfatScanner.h"

#include "engine/ZelClaimedRanges.h"
#include "engine/ZelClaims.h"
#include "exfat/ExfatLayout.h"

#include <algorithm>

using namespace exfatlayout;

void CExfatScanner::ClaimedRanges(std::vector<std::pair<uint64_t, uint64_t>>& ranges) const
{
    if (!m_pVolume)
        return;
    // The deleted files' stretches, and those of the clusters that hold
    // entry sets.
    std::vector<std::pair<uint64_t, uint64_t>> runs = m_Claimed;
    for (size_t c = 0; c < m_SetClusters.size();) {
        if (!m_SetClusters[c]) {
            ++c;
            continue;
        }
        size_t end = c;
        while (end < m_SetClusters.size() && m_SetClusters[end])
            ++end;
        runs.emplace_back(c, end - c);
        c = end;
    }
    const CExfatBootSector& boot = m_pVolume->Boot();
    ZelAddClaimedRanges(
        runs, boot.clusterSize, [&boot](uint32_t c, uint64_t& offset) { return boot.ClusterOffset(c, offset); }, ranges);
}

void CExfatScanner::Judge()
{
    const CExfatVolumeFacts facts = Facts();
    // Clusters claimed by more than one deleted file; only the clusters the
    // device holds can be claimed.
    const uint64_t known = static_cast<uint64_t>(facts.lastCluster) + 1;
    CZelClaims claims;
    const auto plan = [&](const CExfatFoundEntry& file) {
        CExfatFileExtent extent;
        extent.firstCluster = file.firstCluster;
        extent.validDataLength = file.validDataLength;
        extent.noFatChain = file.noFatChain;
        extent.live = !file.inDeletedTree;
        return ZelPlanExfatRestore(extent, facts);
    };
    // The plans are made twice, once to claim and once to count, and
    // again by a restore: a scan keeps no list of clusters per file.
    for (size_t i = 0; i < m_Found.size(); ++i) {
        const CExfatFoundEntry& entry = *m_Found[i];
        if (entry.directory || !entry.inDeletedTree)
            continue;
        for (const CExfatPiece& piece : plan(entry).pieces)
            if (!piece.lost && piece.first < known)
                claims.Add(i, piece.first, std::min<uint64_t>(piece.count, known - piece.first));
    }
    claims.Settle();
    m_Claimed = claims.Extents();
    m_Progress.Stage(kJudgeStage, 1.0, 0.5);

    for (const auto& entry : m_Found) {
        if (entry->directory)
            continue;
        const CExfatRestorePlan made = plan(*entry);
        if (!entry->inDeletedTree) {
            entry->estimate = made.covered >= made.needed ? 100 : 0;
            entry->note = made.stop;
            continue;
        }
        if (made.needed == 0) {
            entry->estimate = 100;
            continue;
        }
        uint64_t own = 0, shared = 0, unknown = 0, folders = 0;
        for (const CExfatPiece& piece : made.pieces) {
            if (piece.lost)
                continue;
            for (uint64_t c = piece.first; c < static_cast<uint64_t>(piece.first) + piece.count; ++c) {
                const ExfatClusterState state = facts.state(static_cast<uint32_t>(c));
                if (state != ExfatClusterState::Free)
                    ++unknown;
                else if (HoldsSets(static_cast<uint32_t>(c)))
                    ++folders;
                else if (claims.IsShared(c))
                    ++shared;
                else
                    ++own;
            }
        }
        int32_t estimate = static_cast<int32_t>(own * 100 / made.needed);
        if (own < made.needed || made.guessed)
            estimate = std::min(estimate, 99);
        entry->estimate = estimate;
        std::string note;
        const auto add = [&note](const std::string& part) { note += (note.empty() ? "" : "; ") + part; };
        if (made.guessed)
            add("its cluster chain was cleared when it was deleted; the clusters after its first were taken as the "
                "free ones that follow it");
        if (made.lost != 0)
            add(std::to_string(made.lost) + " of its clusters are in use by other files now; their bytes are zeros");
        if (folders != 0)
            add(std::to_string(folders) + " of its clusters hold a deleted folder's entries");
        if (shared != 0)
            add(std::to_string(shared) + " of its clusters are claimed by another deleted file too");
        if (unknown != 0)
            add(std::to_string(unknown) + " of its clusters cannot be told free by the allocation bitmap");
        if (!made.stop.empty())
            add(made.stop);
        entry->note = note;
    }
}
