// The FAT directory walk (FAT12, FAT16 and FAT32): starting at the root
// directory (a fixed region on FAT12 and FAT16) it reads every
// directory, live or deleted, and keeps a tree of all directories and of
// the file entries that are marked deleted (or lie in a deleted directory)
// and pass the filter.
//
// A directory is read cluster by cluster into a buffer, and its entry groups
// are parsed from there. Where the allocation table still chains the cluster
// on (a live directory, which is often fragmented) the chain is followed;
// where the table entry is free (a deleted directory, whose chain was
// cleared) the next cluster on the volume is taken when it holds directory
// entries. A deleted folder is read only when its first cluster still starts
// with its "." and ".." entries: free clusters may hold file data since.
//
// After the walk, free clusters that hold directory entries and were not
// read (the later clusters of a deleted folder, scattered between file data)
// are read too: attached to their folder where a subfolder's ".." proves it
// or where they lie says so (see ContinuationOf), listed under
// "$OrphanFiles" otherwise. Then every file is judged: where its
// restore starts, which clusters it reads, and how many of them are its own.
#pragma once

#include "engine/ZelLimits.h"
#include "engine/ZelOrphanFolder.h"
#include "engine/ZelScanSink.h"
#include "engine/BlockReader.h"
#include "fat32/DirEntry.h"
#include "fat32/FatAllocationMap.h"
#include "fat32/FatBootSector.h"
#include "fat32/Fat32EntryCheck.h"
#include "fat32/Fat32EntryGroup.h"
#include "fat32/Fat32RestorePlan.h"
#include "fat32/FatGeometry.h"
#include "fat32/FatTable.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class CZelEngineCheckFile;

class CMUNdelete : public CZelSearchChoice {
public:
    // Called with the share of the scan done (it grows, and reaches 1 when
    // the scan ends) and for every stretch of the volume that cannot be
    // read.
    typedef CZelScanSink ProgressSink;

    CMUNdelete(CBlockReader& reader, ProgressSink sink);
    virtual ~CMUNdelete() = default;

    virtual uint32_t GetEntryCount() const;
    virtual const CDirEntry* GetEntry(uint32_t index) const;

    // The files and directories found, in pre-order (a folder, then what it
    // holds), each with the index of its folder (-1 for the root).
    struct Listed {
        const CDirEntry* node;
        int64_t parent;
    };
    const std::vector<Listed>& Listing() const { return m_Listing; }

    // Checks the boot sector of the volume the reader is attached to and
    // walks it; a deep search then reads the free clusters for what
    // deleted folders left there. A search that is stopped ends its walk
    // there and judges what it found. Mode 0 keeps every entry, mode 1 only deleted ones
    // (directories are always kept). Directory clusters that cannot be read
    // are passed over. 0 after a completed walk; -1 with the reason when the
    // volume is no FAT volume, its boot sector cannot be read, or the device
    // is gone.
    int32_t Scan(const std::string& volumePath, uint8_t mode, CZelEngineCheckFile* filter, std::string& error);

    const CFatBootSector& Boot() const { return m_Boot; }
    // The byte ranges the last scan's found files and folders claim.
    void ClaimedRanges(std::vector<std::pair<uint64_t, uint64_t>>& ranges) const;
    // The clusters a restore of the file reads: for a file of a deleted
    // tree the free clusters from its start on, for a live file its chain.
    CFatRestorePlan PlanRestore(const CDirEntry& file);

    // The name of the folder that holds entries whose folder is not known.
    static constexpr const char* kOrphanFolder = kZelOrphanFolder;

    // A directory deeper than this below the root is not read.
    static constexpr uint32_t kMaxDepth = zellimits::kMaxFolderDepth;

private:
    // Where each stage of the scan starts in its progress: the allocation
    // table, the walk, the free clusters, the judging of the files.
    static constexpr double kTableStage = 0.0, kWalkStage = 0.1, kLostStage = 0.3, kJudgeStage = 0.95;

    // One directory being read: the entries read so far that no group has
    // taken yet, with the volume offset of each.
    struct DirectoryRun {
        uint32_t depth = 0;
        // The clusters come from a live chain; otherwise each cluster after
        // the first is taken only when it holds directory entries.
        bool proven = true;
        // A cluster was joined to the root by where it lies.
        bool placeGuessed = false;
        // The cluster being read (0 for the fixed root region), where it
        // starts, its size and how much of it has been read.
        uint32_t cluster = 0;
        uint64_t clusterStart = 0;
        uint64_t clusterSize = 0;
        uint64_t clusterRead = 0;
        // No more is read: the volume, a read or the entry bound ended the
        // directory.
        bool ended = false;
        uint32_t entriesRead = 0;
        // The folder whose entries these are (null for the root).
        const CDirEntry* folder = nullptr;
        std::vector<uint8_t> bytes;
        std::vector<uint64_t> offsets;
        size_t next = 0; // first entry not taken by a group
    };

    // A directory's cluster is read in pieces of this size, so that a walk
    // deep in the tree holds little memory for the directories above.
    static constexpr uint64_t kDirectoryPiece = 16384;

    // Where a deleted folder's read stopped at a cluster's end because no
    // cluster was known to follow: its last cluster, and the entries of a
    // group that its next cluster would have completed.
    struct OpenEnd {
        uint32_t cluster = 0;
        std::vector<uint8_t> bytes;
        std::vector<uint64_t> offsets;
    };

    // Reads the directory from firstCluster on into the children of parent;
    // a continuation starts with the entries its folder's open end kept.
    void ReadDirectory(const CDirEntry* parent, uint32_t firstCluster, uint32_t depth,
                       std::vector<std::unique_ptr<CDirEntry>>& into, bool proven, const OpenEnd* carried = nullptr);
    // Notes where a run of a deleted folder stopped without an end mark.
    void NoteOpenEnd(const DirectoryRun& run);
    // The folder a lost cluster of entries continues, judged by where it
    // lies: the nearest cluster of entries before it is the open end of a
    // deleted folder (or only that folder's finished subfolders lie
    // between), and every file of a deleted tree that starts between the
    // two lies in that folder or below it, at least one (FAT writers give a
    // growing folder the next free cluster after the data they wrote last).
    // Null when that is not so.
    CDirEntry* ContinuationOf(uint32_t cluster);
    // Reads a whole cluster; false when it cannot be read (counted as an
    // unreadable stretch when countFailure is set).
    bool ReadCluster(uint32_t cluster, std::vector<uint8_t>& bytes, bool countFailure = true);
    // What a free cluster holds, read from the volume.
    CFatClusterLook LookAt(uint32_t cluster);
    // Reads the free clusters that hold directory entries and were not read.
    void FindLostFolders();
    // Reads one such cluster as what its look says it is; bytes are the
    // cluster's entries as the search read them.
    void ReadLostCluster(uint32_t cluster, const CFatClusterLook& look, const uint8_t* bytes, size_t size);
    // The folder a lost later cluster of a folder belongs to, proven by the
    // ".." of a subfolder it lists; false when nothing proves one.
    bool OwnerOf(const uint8_t* bytes, size_t size, uint32_t& owner);
    CDirEntry& Orphans();
    // Where each file's restore starts and how much of it is its own.
    void JudgeFiles();
    void ResolveStart(CDirEntry& file);
    // True when cluster holds anything but zeros.
    bool HoldsData(uint32_t cluster);
    // Tells the share done of the stage that starts at start and ends
    // where next starts.
    void Publish(double start, double next, double done) { m_Progress.Stage(start, next, done); }
    // Makes cluster the run's next one; false when it cannot be read, was
    // read before, or the directory has all the entries it may have.
    bool EnterCluster(DirectoryRun& run, uint32_t cluster);
    // Reads the next piece of the run's cluster; false when nothing more
    // could be read.
    bool ReadPiece(DirectoryRun& run);
    // Reads more of the directory, from the cluster that follows when the
    // current one is read; false at the end of the directory.
    bool ReadMore(DirectoryRun& run);
    // Reads count bytes of a directory at offset; sectors that cannot be
    // read come back as entries that end any name they cut and are never
    // kept. The bytes delivered: fewer at the end of the volume or when the
    // device is gone (ended is then set).
    size_t ReadDirectoryBytes(uint64_t offset, uint8_t* destination, size_t count, bool& ended);
    // The cluster that follows cluster in a directory, 0 at its end;
    // guessed is set when the table does not chain it (a deleted folder).
    uint32_t NextDirectoryCluster(uint32_t cluster, bool& guessed);
    // True when the allocation table gives cluster to a file or directory,
    // or cannot tell.
    bool IsAllocated(uint32_t cluster);
    // The first cluster an 8.3 entry names: FAT12 and FAT16 have no high
    // word (OS/2 kept other things there).
    uint32_t FirstClusterOf(const CFatDirEntryFields& entry) const;
    // Notes a read that failed: the device is gone, or a stretch is counted.
    void ReadFailed(const CZelRead& read, uint64_t offset, size_t count, const char* what);
    // Fills a node from a parsed group whose first entry lies at offset.
    void FillNode(CDirEntry& node, const CFatEntryGroup& group, uint64_t offset) const;
    // Reads the directory a node names, when it is one to read.
    void Descend(CDirEntry& node, uint32_t depth);
    bool Retain(const CDirEntry& entry) const;
    // Lists the found tree in pre-order.
    void MakeListing();
    // A deep search of a volume whose boot sector is no FAT one: the layout
    // from the backup boot sector, or from the folders in the data; error
    // says why for Failed.
    enum class Rebuild {
        // The layout is known again.
        Layout,
        // No layout was found: the volume holds nothing of a file system,
        // and the signature search read it all.
        Raw,
        Failed,
    };
    Rebuild RebuildLayout(const std::string& volumePath, const std::string& problem, std::string& error);
    // Whether a cluster is one to read in the search of the free clusters:
    // free, and on a rebuilt volume one that holds entries.
    bool WorthReading(uint32_t cluster) const;
    // The fixed root region of a FAT12 or FAT16 layout rebuilt from its
    // folders, found before the data; none where no entries lie there.
    void FindRootRegion(uint64_t dataStart);
    // Whether a file's restore reads the free clusters from its start (a
    // deleted file, or any file of a volume whose tables are gone) rather
    // than its chain.
    bool ReadsFreeClusters(const CDirEntry& file);

    CBlockReader& m_Reader;
    ProgressSink m_Sink;
    CZelStageProgress m_Progress{m_Sink};
    CFatBootSector m_Boot;
    // The volume's layout was rebuilt from its folders: no table is read,
    // and the free-cluster search reads the clusters of entries alone
    // (sorted).
    bool m_FromFolders = false;
    // The boot sector was gone: every file is at risk and listed, live
    // ones too, and a chain the table no longer holds is read as free
    // clusters.
    bool m_Rebuilt = false;
    std::vector<uint32_t> m_EntryClusters;
    CFatEntryLimits m_Limits;
    CFatAllocationMap m_Map;
    std::vector<std::unique_ptr<CDirEntry>> m_Found;
    std::vector<Listed> m_Listing;
    // The folders read, by first cluster, with their depth (the root as
    // null, under its own cluster and 0, which ".." names it by).
    struct FolderPlace {
        CDirEntry* node = nullptr;
        uint32_t depth = 0;
    };
    std::unordered_map<uint32_t, FolderPlace> m_Folders;
    // Every cluster read as entries, in volume order, with the folder whose
    // entries it holds; the open ends of deleted folders; the first
    // clusters of the files of deleted trees, with their folders.
    std::map<uint32_t, const CDirEntry*> m_DirectoryClusters;
    std::unordered_map<const CDirEntry*, OpenEnd> m_OpenEnds;
    std::multimap<uint32_t, const CDirEntry*> m_FileStarts;
    CDirEntry* m_pOrphans = nullptr;
    // Directory clusters read by the walk.
    uint64_t m_WalkClusters = 0;

    // State of the current walk.
    uint8_t m_Mode = 1;
    CZelEngineCheckFile* m_pFilter = nullptr;
    uint64_t m_VolumeEnd = 0;
    // First clusters of the directories read so far: none is read twice.
    std::unordered_set<uint32_t> m_ReadDirectories;
    // Clusters read as directory entries so far: none is read twice, so a
    // chain that loops ends and the whole walk reads each cluster once.
    std::unordered_set<uint32_t> m_ReadClusters;
    // The cluster stretches the found files' restores read, as (first,
    // count).
    std::vector<std::pair<uint64_t, uint64_t>> m_Claimed;
    // The allocation table's entries, read as directories need them.
    std::unique_ptr<CFatTableReader> m_pTable;
    // Where directory entries follow sectors that could not be read.
    std::unordered_set<uint64_t> m_AfterHole;
    // The device went away during the walk: it ends there.
    bool m_Vanished = false;
    int m_VanishedError = 0;
};
