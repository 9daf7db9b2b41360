// The FAT32 directory walk: starting at the root directory it reads every
// directory, live or deleted, and keeps a tree of all directories and of
// the file entries that are marked deleted (or lie in a deleted directory)
// and pass the filter.
//
// A directory is read cluster by cluster into a buffer, and its entry groups
// are parsed from there. Where the allocation table still chains the cluster
// on (a live directory, which is often fragmented) the chain is followed;
// where the table entry is free (a deleted directory, whose chain was
// cleared) the next cluster on the volume is taken.
#pragma once

#include "fat32/BlockReader.h"
#include "fat32/DirEntry.h"
#include "fat32/Fat32BootSector.h"
#include "fat32/Fat32EntryGroup.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

class CZelEngineCheckFile;

class CMUNdelete {
public:
    // Called with the position reached after every entry group, and with
    // the volume size once the boot sector is read.
    struct ProgressSink {
        std::function<void(uint64_t)> volumeSize;
        std::function<void(uint64_t)> position;
    };

    CMUNdelete(CBlockReader& reader, ProgressSink sink);
    virtual ~CMUNdelete() = default;

    virtual uint32_t GetEntryCount() const;
    virtual const CDirEntry* GetEntry(uint32_t index) const;

    // Opens the volume, checks its boot sector and walks it. Mode 0 keeps
    // every entry, mode 1 only deleted ones (directories are always kept).
    // 0 after a completed walk; -1 with the reason when the volume cannot
    // be opened or is not FAT32.
    int32_t Scan(const std::string& volumePath, uint8_t mode, CZelEngineCheckFile* filter, std::string& error);

    // The FAT variant of the last scanned volume: 12, 16, 32, or 0.
    int GetVariant() const { return m_Boot.variant; }

    // A directory deeper than this below the root is not read.
    static constexpr uint32_t kMaxDepth = 256;

private:
    // One directory being read: the entries read so far that no group has
    // taken yet, with the volume offset of each.
    struct DirectoryRun {
        uint32_t depth = 0;
        // The cluster being read, where it starts and how much of it has
        // been read.
        uint32_t cluster = 0;
        uint64_t clusterStart = 0;
        uint64_t clusterRead = 0;
        // No more is read: the volume, a read or the entry bound ended the
        // directory.
        bool ended = false;
        uint32_t entriesRead = 0;
        std::vector<uint8_t> bytes;
        std::vector<uint64_t> offsets;
        size_t next = 0; // first entry not taken by a group
    };

    // A directory's cluster is read in pieces of this size, so that a walk
    // deep in the tree holds little memory for the directories above.
    static constexpr uint64_t kDirectoryPiece = 16384;

    void ReadDirectory(const CDirEntry* parent, uint32_t firstCluster, uint32_t depth,
                       std::vector<std::unique_ptr<CDirEntry>>& into);
    // Makes cluster the run's next one; false when it cannot be read, was
    // read before, or the directory has all the entries it may have.
    bool EnterCluster(DirectoryRun& run, uint32_t cluster);
    // Reads the next piece of the run's cluster; false when nothing more
    // could be read.
    bool ReadPiece(DirectoryRun& run);
    // Reads more of the directory, from the cluster that follows when the
    // current one is read; false at the end of the directory.
    bool ReadMore(DirectoryRun& run);
    // The cluster that follows cluster in a directory, 0 at its end.
    uint32_t NextDirectoryCluster(uint32_t cluster);
    // True when the allocation table gives cluster to a file or directory.
    bool IsAllocated(uint32_t cluster);
    // The allocation-table entry of cluster; false when it cannot be read.
    bool ReadFatEntry(uint32_t cluster, uint32_t& value);
    // Fills a node from a parsed group whose first entry lies at offset.
    void FillNode(CDirEntry& node, const CFatEntryGroup& group, uint64_t offset) const;
    // Reads the directory a node names, when it is one to read.
    void Descend(CDirEntry& node, uint32_t depth);
    bool Retain(const CDirEntry& entry) const;
    // Reads count bytes at offset; the number read.
    size_t ReadAt(uint64_t offset, void* destination, size_t count);

    CBlockReader& m_Reader;
    ProgressSink m_Sink;
    CFat32BootSector m_Boot;
    std::vector<std::unique_ptr<CDirEntry>> m_Found;

    // State of the current walk.
    uint8_t m_Mode = 1;
    CZelEngineCheckFile* m_pFilter = nullptr;
    uint64_t m_VolumeEnd = 0;
    // First clusters of the directories read so far: none is read twice.
    std::unordered_set<uint32_t> m_ReadDirectories;
    // Clusters read as directory entries so far: none is read twice, so a
    // chain that loops ends and the whole walk reads each cluster once.
    std::unordered_set<uint32_t> m_ReadClusters;
    // A window of the allocation table, read as directories need it.
    std::vector<uint8_t> m_FatWindow;
    uint64_t m_FatWindowStart = 0;
};
