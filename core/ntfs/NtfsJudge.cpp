// Judging the records found: which are still whole, which claim clusters
// another found file claims, and the folder path each is listed under.
#include "ntfs/NtfsUndeleteWrapper.h"

#include "engine/ZelClaims.h"
#include "engine/ZelOrphanFolder.h"
#include "jexcommon/ZelText.h"
#include "ntfs/NtfsLayout.h"
#include "platform/DiagLog.h"

#include <algorithm>
#include <unordered_set>

using namespace ntfslayout;

bool CNtfsUndeleteWrapper::ReferenceHolds(uint64_t reference)
{
    const uint16_t sequence = static_cast<uint16_t>(reference >> 48);
    const uint64_t record = RecordOf(reference);
    // Sequence 0 is not checked; nor is what cannot be read.
    if (sequence == 0 || m_UnreadableRecords.count(record) != 0)
        return true;
    auto known = m_Sequences.find(record);
    if (known == m_Sequences.end()) {
        std::vector<uint8_t> bytes;
        CNtfsRecordFields fields;
        if (ReadRecord(record, bytes, fields) != RecordRead::Decoded)
            return true;
        known = m_Sequences.emplace(record, std::make_pair(fields.sequence, fields.InUse())).first;
    }
    const uint16_t now = known->second.first;
    if (known->second.second)
        return now == sequence;
    return now == sequence || now == static_cast<uint16_t>(sequence + 1);
}

void CNtfsUndeleteWrapper::ClaimedRanges(std::vector<std::pair<uint64_t, uint64_t>>& ranges)
{
    const uint64_t clusterSize = m_pVolume != nullptr ? m_pVolume->cluster_size : 0;
    if (clusterSize == 0)
        return;
    for (const auto& stretch : m_Claimed)
        ranges.emplace_back(stretch.first * clusterSize, (stretch.first + stretch.second) * clusterSize);
}

void CNtfsUndeleteWrapper::JudgeRecords()
{
    // The stretches every found file's restore reads, and where more than
    // one file reads the same clusters.
    CZelClaims claims;
    for (size_t i = 0; i < m_Results.size(); ++i)
        for (const auto& stretch : m_Results[i]->m_Clusters)
            if (stretch.first >= 0 && stretch.second > 0)
                claims.Add(i, static_cast<uint64_t>(stretch.first), static_cast<uint64_t>(stretch.second));
    claims.Settle();
    // Kept past the estimates, which empty the files' own lists: the
    // signature search leaves these clusters to the files.
    m_Claimed = claims.Extents();
    std::vector<uint64_t> shared(m_Results.size(), 0);
    for (size_t i = 0; i < m_Results.size(); ++i)
        for (const auto& stretch : m_Results[i]->m_Clusters)
            if (stretch.first >= 0 && stretch.second > 0)
                shared[i] += claims.SharedIn(static_cast<uint64_t>(stretch.first), static_cast<uint64_t>(stretch.second));
    // The files in the order of their first clusters: the bitmap is read a
    // window at a time, and each window once.
    std::vector<size_t> order(m_Results.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    auto firstCluster = [this](size_t i) {
        return m_Results[i]->m_Clusters.empty() ? int64_t(-1) : m_Results[i]->m_Clusters.front().first;
    };
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return firstCluster(a) < firstCluster(b); });
    for (size_t i : order) {
        ufile& file = *m_Results[i];
        if (file.m_Directory || file.m_Clusters.empty()) {
            if (file.m_Estimate == 0 && file.EstimateNote().empty() && file.m_Clusters.empty())
                file.m_Estimate = 100; // sparse or empty: nothing on the volume to lose
            continue;
        }
        // Clusters past the volume's end are counted, not visited.
        uint64_t total = 0, taken = 0;
        for (const auto& stretch : file.m_Clusters) {
            const int64_t end = stretch.first + stretch.second;
            const int64_t inside = std::min(end, m_pVolume->nr_clusters);
            total += static_cast<uint64_t>(stretch.second);
            if (end > inside)
                taken += static_cast<uint64_t>(end - std::max(inside, stretch.first));
            // A live file's clusters are in use by the file itself.
            for (int64_t c = stretch.first; c < inside && !file.m_Live; ++c)
                taken += m_pClusters->InUse(c) != 0 ? 1 : 0;
        }
        const uint64_t lost = std::min(total, taken + shared[i]);
        // 100 only when every cluster is the file's own.
        file.m_Estimate = lost == 0 ? 100
                                    : static_cast<int32_t>(std::min(
                                          99.0, static_cast<double>(total - lost) * 100.0 / static_cast<double>(total)));
        std::string why;
        if (taken != 0)
            why = std::to_string(taken) + " of its " + std::to_string(total) + " clusters belong to other files now";
        if (shared[i] != 0)
            why += (why.empty() ? "" : "; ") + std::to_string(shared[i]) + " of its clusters are also claimed by other found files";
        // A file whose data is known to lack extents is never whole.
        if (!file.EstimateNote().empty()) {
            file.m_Estimate = std::min(file.m_Estimate, 99);
            why = file.EstimateNote() + (why.empty() ? "" : "; " + why);
        }
        file.SetEstimateNote(why);
    }
    // The clusters served the estimates alone; a restore reads the record
    // again.
    for (auto& file : m_Results)
        std::vector<std::pair<int64_t, int64_t>>().swap(file->m_Clusters);
}

const std::wstring& CNtfsUndeleteWrapper::DirectoryPath(uint64_t record)
{
    static const std::wstring kNone;
    // Walk up from the directory to the root, or to a directory whose path
    // is known, or until the walk repeats itself or gets too deep.
    std::vector<std::pair<uint64_t, std::wstring>> chain;
    std::unordered_set<uint64_t> seen;
    std::wstring prefix;
    std::vector<uint8_t> bytes;
    uint64_t current = record;
    while (static_cast<int>(chain.size()) < kMaxParentDepth) {
        if (current == kRootRecord)
            break;
        auto known = m_DirectoryPaths.find(current);
        if (known != m_DirectoryPaths.end()) {
            if (chain.empty())
                return known->second;
            prefix = known->second;
            break;
        }
        if (!seen.insert(current).second || m_UnreadableRecords.count(current) != 0)
            break;
        CNtfsRecordFields fields;
        RecordRead read = ReadFileRecord(current, bytes, fields);
        if (read == RecordRead::Unreadable && !m_pDevice->Vanished()) {
            // The path stops below the folder that cannot be read; it is
            // counted and tried once per scan.
            ZelLogFormat("MFT record %llu, a folder, cannot be read (%s); paths below it start there.",
                         static_cast<unsigned long long>(current), std::strerror(m_pDevice->LastError()));
            m_UnreadableRecords.insert(current);
            CountUnreadable(m_pVolume->mft_record_size);
        }
        if (read != RecordRead::Decoded)
            break;
        int preferred = ZelNtfsPreferredName(fields.fileNames);
        if (preferred < 0 || fields.fileNames[static_cast<size_t>(preferred)].name == u".")
            break;
        const CNtfsFileNameFields& name = fields.fileNames[static_cast<size_t>(preferred)];
        std::wstring wide;
        ZelNtfsConvertName(name.name, wide);
        chain.emplace_back(current, wide);
        if (!ReferenceHolds(name.parentReference)) {
            prefix = kZelOrphanFolderW;
            break;
        }
        current = RecordOf(name.parentReference);
    }
    // Paths from the top down, each remembered for this scan (the found
    // records below a folder all point at its one copy); a path never grows
    // past the longest one a system takes.
    if (chain.empty())
        return kNone;
    std::wstring path = prefix;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (path.size() + 1 + it->second.size() <= kMaxPathLength)
            path = path.empty() ? it->second : path + L"/" + it->second;
        m_DirectoryPaths[it->first] = path;
    }
    return m_DirectoryPaths[record];
}
