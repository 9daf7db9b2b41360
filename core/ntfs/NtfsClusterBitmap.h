// Whether a cluster of a mounted NTFS volume is in use, from a window of the
// volume's cluster bitmap that is reloaded as the clusters asked about move.
#pragma once

#include "ntfs/NtfsLibrary.h"

#include <cstdint>
#include <unordered_set>

class CNtfsClusterBitmap {
public:
    // Clusters covered by one window: 64 KiB of bitmap, 2 GiB of a volume
    // of 4 KiB clusters.
    static constexpr int64_t kWindowClusters = 1 << 19;

    explicit CNtfsClusterBitmap(ntfs_volume* volume) : m_pVolume(volume) {}

    // 0 for a free cluster, 1 for one in use, -1 when the bitmap cannot be
    // read there (a cluster outside the volume among others).
    int InUse(int64_t cluster);

private:
    ntfs_volume* m_pVolume;
    bool m_Loaded = false;
    // Windows that could not be read: not tried again.
    std::unordered_set<int64_t> m_Unreadable;
    int64_t m_WindowStart = 0;
    uint8_t m_Window[kWindowClusters / 8] = {};
};
