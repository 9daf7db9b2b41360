// Which clusters the allocation table gives to a file or folder: one bit
// per cluster, read once per scan. A deleted file's clusters are free;
// those in use belong to something else now.
#pragma once

#include "engine/BlockReader.h"
#include "fat32/FatBootSector.h"

#include <cstdint>
#include <functional>
#include <vector>

class CFatAllocationMap {
public:
    // Called with the share of the table read so far.
    typedef std::function<void(double)> Progress;
    // Called for a stretch of the table that neither copy could give.
    typedef std::function<void(const CZelRead& read, uint64_t offset, size_t count)> Failure;

    // Reads the table of the volume the boot sector describes, in pieces,
    // from the first copy or, where that cannot be read, the second.
    // Clusters whose entries neither copy gives count as in use: they may
    // belong to another file. False when the device went away.
    bool Load(CBlockReader& reader, const CFatBootSector& boot, const Progress& progress, const Failure& failed);
    // Marks every cluster up to lastCluster free (for tests and for a
    // volume whose table is not read).
    void Reset(uint32_t lastCluster);

    uint32_t LastCluster() const { return m_LastCluster; }
    // Clusters 0 up to this one (not included) may be free; those after it
    // are in use.
    uint64_t KnownEnd() const { return m_Known; }
    // True when the table gives cluster to something, cannot tell, or the
    // cluster is no data cluster (0, 1, past the last one).
    bool InUse(uint32_t cluster) const;
    // Marks the clusters from first up to (not including) end as in use.
    void SetRangeInUse(uint64_t first, uint64_t end);
    void SetInUse(uint32_t cluster, bool used);
    // The first free cluster from cluster on; 0 when there is none.
    uint32_t NextFree(uint32_t cluster) const;
    // How many clusters from first on (count of them) are free.
    uint64_t FreeIn(uint32_t first, uint64_t count) const;
    uint64_t FreeCount() const;

private:
    // Clusters up to lastCluster, of which the first known have a bit of
    // their own; the rest are in use.
    void Cover(uint32_t lastCluster, uint64_t known);

    std::vector<uint64_t> m_Used;
    uint32_t m_LastCluster = 0;
    uint64_t m_Known = 0;
};
