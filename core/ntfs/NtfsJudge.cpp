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
    // The clusters served the estimates alone (and where the data starts,
    // for the order of restores); a restore reads the record again. A name
    // the record itself no longer holds is said to be taken from elsewhere;
    // it takes nothing from the estimate.
    for (auto& file : m_Results) {
        file->m_FirstCluster = file->m_Clusters.empty() ? -1 : file->m_Clusters.front().first;
        std::vector<std::pair<int64_t, int64_t>>().swap(file->m_Clusters);
        if (file->m_NameFromIndex)
            file->SetEstimateNote(file->EstimateNote() + (file->EstimateNote().empty() ? "" : "; ") +
                                  "its record had lost its name: name and folder were taken from its folder's index");
    }
}

const std::wstring& CNtfsUndeleteWrapper::LostFolderPath(uint64_t record)
{
    auto known = m_LostPaths.find(record);
    if (known != m_LostPaths.end())
        return known->second;
    return m_LostPaths[record] = std::wstring(kZelOrphanFolderW) + L"/Folder " + std::to_wstring(record);
}

bool CNtfsUndeleteWrapper::FolderName(uint64_t record, const CNtfsRecordFields& fields, std::wstring& name,
                                      uint64_t& parent)
{
    const int preferred = ZelNtfsPreferredName(fields.fileNames);
    if (preferred >= 0) {
        const CNtfsFileNameFields& own = fields.fileNames[static_cast<size_t>(preferred)];
        ZelNtfsConvertName(own.name, name);
        parent = own.parentReference;
        return true;
    }
    auto kept = m_IndexNames.find(record);
    if (kept == m_IndexNames.end())
        return false;
    name = kept->second.name;
    parent = kept->second.parent;
    return true;
}

void CNtfsUndeleteWrapper::AssignPaths()
{
    static const std::wstring kOrphans = kZelOrphanFolderW;
    for (auto& file : m_Results) {
        // A record of an earlier MFT has its path from the old folders.
        if (file->m_OldRecordOffset != 0)
            continue;
        const uint64_t parent = file->m_ParentReference;
        if (parent == 0)
            file->m_pParentPath = &kOrphans;
        else if (!ReferenceHolds(parent))
            file->m_pParentPath = &LostFolderPath(RecordOf(parent));
        else
            file->m_pParentPath = &DirectoryPath(RecordOf(parent));
    }
}

const std::wstring& CNtfsUndeleteWrapper::DirectoryPath(uint64_t record)
{
    static const std::wstring kNone;
    // Walk up from the directory to the root, or to a directory whose path
    // is known; where the walk cannot go on, the path starts at the lost
    // folder it stopped at.
    std::vector<std::pair<uint64_t, std::wstring>> chain;
    std::unordered_set<uint64_t> seen;
    const std::wstring* prefix = &kNone;
    std::vector<uint8_t> bytes;
    uint64_t current = record;
    bool ended = false;
    while (!ended && static_cast<int>(chain.size()) < kMaxParentDepth) {
        ended = true;
        if (current == kRootRecord)
            break;
        auto known = m_DirectoryPaths.find(current);
        if (known != m_DirectoryPaths.end()) {
            if (chain.empty())
                return known->second;
            prefix = &known->second;
            break;
        }
        if (!seen.insert(current).second || m_UnreadableRecords.count(current) != 0) {
            prefix = &LostFolderPath(current);
            break;
        }
        CNtfsRecordFields fields;
        RecordRead read = ReadFileRecord(current, bytes, fields);
        if (read == RecordRead::Unreadable && !m_pDevice->Vanished()) {
            // What lies below the folder that cannot be read is listed
            // under it as a lost folder; it is counted and tried once per
            // scan.
            ZelLogFormat("MFT record %llu, a folder, cannot be read (%s); paths below it start there.",
                         static_cast<unsigned long long>(current), std::strerror(m_pDevice->LastError()));
            m_UnreadableRecords.insert(current);
            CountUnreadable(m_pVolume->mft_record_size);
        }
        std::wstring name;
        uint64_t parent = 0;
        if (read != RecordRead::Decoded || !FolderName(current, fields, name, parent)) {
            prefix = &LostFolderPath(current);
            break;
        }
        // A record that calls itself "." is the root.
        if (name == L".")
            break;
        chain.emplace_back(current, name);
        if (!ReferenceHolds(parent)) {
            prefix = &LostFolderPath(RecordOf(parent));
            break;
        }
        current = RecordOf(parent);
        ended = false;
    }
    // A chain too deep to follow to its end starts where it was left,
    // unless that is the root or a folder whose path is known.
    if (!ended) {
        auto known = m_DirectoryPaths.find(current);
        prefix = current == kRootRecord ? &kNone
                 : known != m_DirectoryPaths.end() ? &known->second
                                                    : &LostFolderPath(current);
    }
    // Paths from the top down, each remembered for this scan (the found
    // records below a folder all point at its one copy); a path never grows
    // past the longest one a system takes.
    if (chain.empty())
        return *prefix;
    std::wstring path = *prefix;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (path.size() + 1 + it->second.size() <= kMaxPathLength)
            path = path.empty() ? it->second : path + L"/" + it->second;
        m_DirectoryPaths[it->first] = path;
    }
    return m_DirectoryPaths[record];
}
