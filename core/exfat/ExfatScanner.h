// The exFAT directory walk. From the root it reads every directory, live or
// deleted, set by set, and keeps every directory and the files whose set is
// marked deleted (or lie in a deleted folder) that pass the filter. A
// directory's clusters are its chain, or one run where it is flagged
// contiguous; a deleted folder is read only while its first cluster is free,
// since one in use holds something else now, and only its first cluster
// where its chain was cleared. Each set is taken only when its count, name
// and checksum agree, so clusters that hold something else since give
// nothing. After the walk the free clusters no folder was read from are
// searched for sets: the later clusters of deleted folders whose chains
// were cleared. exFAT keeps no link from a folder's cluster to its parent,
// so what they hold is listed under "$OrphanFiles". Then every file is
// judged: which clusters its restore reads and how many of them are still
// its own.
#pragma once

#include "engine/ZelLimits.h"
#include "engine/ZelOrphanFolder.h"
#include "engine/ZelScanSink.h"
#include "exfat/ExfatEntrySet.h"
#include "exfat/ExfatFoundEntry.h"
#include "exfat/ExfatVolume.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CZelEngineCheckFile;

class CExfatScanner : public CZelSearchChoice {
public:
    typedef CZelScanSink ProgressSink;

    CExfatScanner(CZelVolumeSource& source, ProgressSink sink);

    // Mode 0 keeps every entry, mode 1 only deleted files (directories are
    // always kept). 0 after a completed walk; -1 with the reason when the
    // volume is no exFAT volume, its boot region cannot be read, or the
    // device is gone.
    int32_t Scan(const std::string& volumePath, uint8_t mode, CZelEngineCheckFile* filter, std::string& error);

    // The clusters a restore of a found file reads.
    CExfatRestorePlan PlanFor(const CExfatFoundEntry& file);

    size_t Count() const { return m_Found.size(); }
    const CExfatFoundEntry* Entry(size_t index) const
    {
        return index < m_Found.size() ? m_Found[index].get() : nullptr;
    }
    // Null before a scan.
    CExfatVolume* Volume() { return m_pVolume.get(); }
    // Why the scan could not trust something of the volume as a whole (the
    // bitmap, the main boot region); empty when it could.
    const std::string& Warning() const { return m_Warning; }

    // A directory deeper than this below the root is not read.
    static constexpr uint32_t kMaxDepth = zellimits::kMaxFolderDepth;
    // The folder that holds what lost folder clusters list.
    static constexpr const char* kOrphanFolder = kZelOrphanFolder;
    // No directory is larger.
    static constexpr uint64_t kMaxDirectoryBytes = zellimits::kMaxExfatFolderBytes;

private:
    // A directory still to read.
    struct Pending {
        // Its entry in the found list; -1 for the root.
        int32_t record = -1;
        uint32_t depth = 0;
        bool deletedTree = false;
    };

    // Loads the allocation bitmap and the up-case table the root names.
    void FindRootTables(const std::vector<uint32_t>& rootClusters);
    // The clusters of a directory, in order.
    std::vector<uint32_t> DirectoryClusters(const Pending& dir, std::string& why);
    void ReadDirectory(const Pending& dir);
    // Takes the sets of bytes from the start; the bytes of a set that goes
    // on past them are left at the front.
    void TakeSets(std::vector<uint8_t>& bytes, const Pending& dir);
    // Takes the sets of length bytes from at on into dir (the orphans'
    // folder, made with its first set, where dir's record is
    // kOrphansPending). Returns where the sets end; cut tells that a set
    // starts there that goes on past the bytes.
    size_t TakeSetsFrom(const uint8_t* bytes, size_t length, size_t at, Pending& dir, bool& cut);
    void Keep(const CExfatEntrySet& set, const Pending& dir);
    // Reads the folders queued and those they hold.
    void RunQueue();
    void FindLostSets();
    // The sets of one free cluster's bytes.
    void TakeLostCluster(const uint8_t* bytes, size_t length);
    // Keeps the start of a set that a deleted folder's cluster ends with:
    // the cluster that holds its rest, once found, is proven to be the
    // folder's next one by the set's checksum.
    void AddDangling(const uint8_t* bytes, size_t length, const Pending& dir);
    int32_t Orphans();
    void Judge();

public:
    // The byte ranges the last scan's found files and folders claim.
    void ClaimedRanges(std::vector<std::pair<uint64_t, uint64_t>>& ranges) const;

private:
    // Marks a cluster read as a directory; false when it was read before.
    // Clusters past the device's end are never marked.
    bool MarkRead(uint32_t cluster);
    void MarkSets(uint32_t cluster);
    bool WasRead(uint32_t cluster) const { return cluster < m_ReadClusters.size() && m_ReadClusters[cluster]; }
    bool HoldsSets(uint32_t cluster) const { return cluster < m_SetClusters.size() && m_SetClusters[cluster]; }
    // The volume's word on clusters, with the scan's budget.
    CExfatVolumeFacts Facts();
    // Where each stage of the scan starts in its progress: the walk, the
    // free clusters, the judging of the files.
    static constexpr double kWalkStage = 0.0, kLostStage = 0.3, kJudgeStage = 0.9;

    CZelVolumeSource& m_Source;
    ProgressSink m_Sink;
    CZelStageProgress m_Progress{m_Sink};
    std::unique_ptr<CExfatVolume> m_pVolume;
    std::vector<std::unique_ptr<CExfatFoundEntry>> m_Found;
    std::vector<Pending> m_Queue;
    size_t m_QueueDone = 0;
    int32_t m_Orphans = -1;
    // The record of the orphans' folder before it is made.
    static constexpr int32_t kOrphansPending = -2;
    // Set starts at the ends of deleted folders' clusters, by the entries
    // they lack.
    struct Dangling {
        std::vector<uint8_t> head;
        Pending dir;
        bool used = false;
    };
    std::vector<Dangling> m_Dangling;
    // By the entries they lack and whether they are in use.
    std::vector<std::vector<size_t>> m_DanglingByRest;
    // Pairs of a start and a cluster tried; the search for rests stops
    // trying beyond kMaxRestTries, and keeps no more than kMaxDangling.
    uint64_t m_RestTries = 0;
    static constexpr uint64_t kMaxRestTries = 1000000;
    static constexpr size_t kMaxDangling = 100000;
    // Clusters the plans of this scan may still step over.
    uint64_t m_PlanBudget = 0;
    // Clusters sets were found in: a deleted folder's, even when free.
    // (One bit per cluster the device holds, as the walk reads every free
    // cluster: a set of numbers would take far more.)
    std::vector<bool> m_SetClusters;
    size_t m_SetsSeen = 0;
    std::vector<bool> m_ReadClusters;
    // The cluster stretches the deleted files' restores read.
    std::vector<std::pair<uint64_t, uint64_t>> m_Claimed;
    uint8_t m_Mode = 1;
    CZelEngineCheckFile* m_pFilter = nullptr;
    std::string m_Warning;
    bool m_Vanished = false;
    // Live files are listed as well as deleted ones.
    bool m_ListLive = false;
    int m_VanishedError = 0;
};
