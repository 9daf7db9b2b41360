// An exFAT volume as the engine reads it: the boot region (the main one, or
// its backup), the active allocation table, read in windows as chains need
// it, and the allocation bitmap, read once per scan.
#pragma once

#include "exfat/ExfatBootRegion.h"
#include "exfat/ExfatRestorePlan.h"
#include "jexplatform/VolumeSource.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class CExfatVolume {
public:
    enum class Outcome {
        Ready,
        // Not an exFAT volume, or neither boot region holds together.
        Refused,
        // The device went away or cannot read the boot region.
        Unreadable,
    };

    explicit CExfatVolume(CZelVolumeSource& source) : m_Source(source) {}

    // Reads and checks the boot region; problem says why it is refused.
    // Where neither region holds and rebuild is set, the layout is found
    // from the cluster heap's contents instead.
    Outcome Load(std::string& problem, bool rebuild = false);
    const CExfatBootSector& Boot() const { return m_Boot; }
    // The main region failed and its backup holds.
    bool UsedBackup() const { return m_UsedBackup; }
    // Neither region holds; the layout was found from the heap.
    bool Rebuilt() const { return m_Rebuilt; }
    // What was wrong with the main region when the backup was taken, or how
    // the layout was found again.
    const std::string& BootProblem() const { return m_BootProblem; }

    // Reads the bitmap a root directory entry names (first cluster and
    // length in bytes): false, with the reason, when it cannot be read;
    // every cluster then counts as Unknown.
    bool LoadBitmap(uint32_t firstCluster, uint64_t length, std::string& problem);
    bool HasBitmap() const { return !m_Bitmap.empty(); }
    // Reads the up-case table a root directory entry names and checks it
    // against its checksum; false, with the reason, when it cannot be had.
    bool LoadUpcase(uint32_t firstCluster, uint64_t length, uint32_t checksum, std::string& problem);
    // Capitals by UTF-16 unit, 65,536 of them; empty without a table.
    const std::vector<uint16_t>& Upcase() const { return m_Upcase; }
    ExfatClusterState State(uint32_t cluster) const;

    // The table entry of cluster; false when the table does not hold it or
    // it cannot be read.
    bool Next(uint32_t cluster, uint32_t& value);
    // The volume's word on clusters, for restore plans.
    CExfatVolumeFacts Facts();

    // The device went away during a read.
    bool Vanished() const { return m_Vanished; }

private:
    // Reads length bytes along the chain from firstCluster, whole: a
    // chain cut short or looping is refused, since other clusters would be
    // read as what says what.
    bool ReadChain(uint32_t firstCluster, uint64_t length, const std::string& what, std::vector<uint8_t>& bytes,
                   std::string& problem);

    static constexpr uint64_t kWindow = 65536;
    static constexpr size_t kMaxWindows = 256;

    CZelVolumeSource& m_Source;
    CExfatBootSector m_Boot;
    bool m_UsedBackup = false;
    bool m_Rebuilt = false;
    // A rebuilt layout may have no allocation table to follow.
    bool m_HasTable = true;
    std::string m_BootProblem;
    uint64_t m_TableOffset = 0;
    // Table windows by their index; emptied when it holds kMaxWindows.
    std::unordered_map<uint64_t, std::vector<uint8_t>> m_Windows;
    // One bit per cluster from cluster 2 on, as recorded; clusters past
    // m_BitmapClusters are Unknown.
    std::vector<uint8_t> m_Bitmap;
    uint64_t m_BitmapClusters = 0;
    std::vector<uint16_t> m_Upcase;
    bool m_Vanished = false;
};
