#include "ntfs/NtfsClusterBitmap.h"

#include "platform/DiagLog.h"

#include <cstring>

int CNtfsClusterBitmap::InUse(int64_t cluster)
{
    if (m_pVolume == nullptr || m_pVolume->lcnbmp_na == nullptr || cluster < 0 || cluster >= m_pVolume->nr_clusters)
        return -1;
    if (!m_Loaded || cluster < m_WindowStart || cluster >= m_WindowStart + kWindowClusters) {
        int64_t start = cluster & ~(kWindowClusters - 1);
        if (m_Unreadable.count(start) != 0)
            return -1;
        // Bits the bitmap does not hold count as in use.
        std::memset(m_Window, 0xFF, sizeof m_Window);
        s64 got = ntfs_attr_pread(m_pVolume->lcnbmp_na, start / 8, sizeof m_Window, m_Window);
        if (got <= 0) {
            m_Loaded = false;
            m_Unreadable.insert(start);
            ZelLogFormat("Cannot read the cluster bitmap at cluster %lld.", static_cast<long long>(start));
            return -1;
        }
        m_WindowStart = start;
        m_Loaded = true;
    }
    int64_t bit = cluster - m_WindowStart;
    return (m_Window[bit / 8] >> (bit % 8)) & 1;
}
