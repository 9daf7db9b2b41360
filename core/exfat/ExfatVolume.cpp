#include "exfat/ExfatVolume.h"

#include "exfat/ExfatLayout.h"
#include "exfat/ExfatRebuild.h"
#include "exfat/ExfatUpcase.h"
#include "jexcommon/ByteOrder.h"

#include <algorithm>
#include <unordered_set>

using namespace exfatlayout;

CExfatVolume::Outcome CExfatVolume::Load(std::string& problem, bool rebuild)
{
    // Both regions for the largest sector there is; the sector size is
    // known only once a region is decoded.
    const size_t span = static_cast<size_t>(2 * kBootRegionSectors) << kMaxBytesPerSectorShift;
    std::vector<uint8_t> bytes(span, 0);
    CZelRead read = ZelReadRetrying(m_Source, 0, bytes.data(), span);
    if (read.end == ZelReadEnd::Vanished || read.end == ZelReadEnd::Failed || read.bytes < kBootMinimumSize) {
        problem = read.end == ZelReadEnd::VolumeEnd || read.end == ZelReadEnd::Complete
                      ? "too short to hold an exFAT boot region"
                      : "the boot region cannot be read (" + ZelErrorText(read.error) + ")";
        m_Vanished = m_Vanished || read.end == ZelReadEnd::Vanished;
        return read.end == ZelReadEnd::VolumeEnd || read.end == ZelReadEnd::Complete ? Outcome::Refused
                                                                                     : Outcome::Unreadable;
    }
    const size_t have = read.bytes;
    // A backup region is tried at each sector size in turn; the main
    // region tells its own.
    std::string first;
    for (uint32_t shift = kMinBytesPerSectorShift; shift <= kMaxBytesPerSectorShift; ++shift) {
        const size_t region = static_cast<size_t>(kBootRegionSectors) << shift;
        const size_t mainLength = std::min(region, have);
        const size_t backupLength = have > region ? std::min(region, have - region) : 0;
        CExfatBootSector boot;
        std::string why;
        ExfatBootSource source =
            ZelChooseExfatBootRegion(bytes.data(), mainLength, bytes.data() + std::min(region, have), backupLength, boot, why);
        if (source == ExfatBootSource::Main ||
            (source == ExfatBootSource::Backup && boot.bytesPerSectorShift == shift)) {
            m_Boot = boot;
            m_UsedBackup = source == ExfatBootSource::Backup;
            m_BootProblem = m_UsedBackup ? why : std::string();
            m_TableOffset = m_Boot.fatBytesOffset;
            // With two tables the volume flags name the active one.
            if (m_Boot.numberOfFats == 2 && (m_Boot.volumeFlags & 1) != 0)
                m_TableOffset += static_cast<uint64_t>(m_Boot.fatLength) << m_Boot.bytesPerSectorShift;
            return Outcome::Ready;
        }
        if (first.empty())
            first = why;
    }
    std::string why;
    if (rebuild && ZelRebuildExfatLayout(m_Source, m_Boot, m_HasTable, m_BootProblem, why)) {
        m_Rebuilt = true;
        m_TableOffset = m_Boot.fatBytesOffset;
        return Outcome::Ready;
    }
    problem = first + (rebuild ? "; " + why : std::string());
    return Outcome::Refused;
}

bool CExfatVolume::Next(uint32_t cluster, uint32_t& value)
{
    if (!m_HasTable || cluster < kFirstCluster || cluster > m_Boot.lastCluster)
        return false;
    const uint64_t at = static_cast<uint64_t>(cluster) * 4;
    if (at + 4 > static_cast<uint64_t>(m_Boot.fatLength) << m_Boot.bytesPerSectorShift)
        return false;
    const uint64_t index = at / kWindow;
    auto found = m_Windows.find(index);
    if (found == m_Windows.end()) {
        if (m_Vanished)
            return false;
        if (m_Windows.size() >= kMaxWindows)
            m_Windows.clear();
        std::vector<uint8_t> window(kWindow, 0);
        CZelRead read = ZelReadRetrying(m_Source, m_TableOffset + index * kWindow, window.data(), kWindow);
        if (read.end == ZelReadEnd::Vanished)
            m_Vanished = true;
        // What could not be read is kept short, so that it reads as beyond.
        window.resize(read.bytes / 4 * 4);
        found = m_Windows.emplace(index, std::move(window)).first;
    }
    const uint64_t inWindow = at % kWindow;
    if (inWindow + 4 > found->second.size())
        return false;
    value = ZelLE32(found->second.data() + inWindow);
    return true;
}

bool CExfatVolume::LoadBitmap(uint32_t firstCluster, uint64_t length, std::string& problem)
{
    m_Bitmap.clear();
    m_BitmapClusters = 0;
    const uint64_t wanted = (static_cast<uint64_t>(m_Boot.clusterCount) + 7) / 8;
    if (length < wanted) {
        problem = "the allocation bitmap is " + std::to_string(length) + " bytes, too short for " +
                  std::to_string(m_Boot.clusterCount) + " clusters";
        return false;
    }
    // A cluster a live file holds must never be taken for free.
    std::vector<uint8_t> bitmap;
    if (!ReadChain(firstCluster, wanted, "the allocation bitmap", bitmap, problem))
        return false;
    m_Bitmap = std::move(bitmap);
    m_BitmapClusters = m_Boot.clusterCount;
    return true;
}

bool CExfatVolume::ReadChain(uint32_t firstCluster, uint64_t length, const std::string& what,
                             std::vector<uint8_t>& bytes, std::string& problem)
{
    bytes.clear();
    const uint64_t clusters = (length + m_Boot.clusterSize - 1) / m_Boot.clusterSize;
    std::unordered_set<uint32_t> seen;
    uint32_t cluster = firstCluster;
    for (uint64_t i = 0; i < clusters; ++i) {
        uint64_t offset = 0;
        if (!m_Boot.ClusterOffset(cluster, offset) || !seen.insert(cluster).second) {
            problem = what + "'s chain breaks off at cluster " + std::to_string(cluster);
            return false;
        }
        const size_t take = static_cast<size_t>(std::min<uint64_t>(m_Boot.clusterSize, length - bytes.size()));
        const size_t had = bytes.size();
        bytes.resize(had + take);
        CZelRead read = ZelReadRetrying(m_Source, offset, bytes.data() + had, take);
        if (!read.Complete()) {
            m_Vanished = m_Vanished || read.end == ZelReadEnd::Vanished;
            problem = read.end == ZelReadEnd::VolumeEnd ? what + " runs past the device's end"
                                                        : what + " cannot be read (" + ZelErrorText(read.error) + ")";
            return false;
        }
        if (i + 1 == clusters)
            break;
        uint32_t value = 0;
        if (!Next(cluster, value)) {
            problem = "the allocation table cannot give " + what + "'s chain";
            return false;
        }
        cluster = value;
    }
    return true;
}

bool CExfatVolume::LoadUpcase(uint32_t firstCluster, uint64_t length, uint32_t checksum, std::string& problem)
{
    m_Upcase.clear();
    // 65,536 units at most, uncompressed.
    if (length < 2 || length > 2 * 65536) {
        problem = "the up-case table is " + std::to_string(length) + " bytes";
        return false;
    }
    std::vector<uint8_t> table;
    if (!ReadChain(firstCluster, length, "the up-case table", table, problem))
        return false;
    if (ZelExfatTableChecksum(table.data(), table.size()) != checksum) {
        problem = "the up-case table's checksum does not agree";
        return false;
    }
    ZelDecodeExfatUpcase(table.data(), table.size(), m_Upcase);
    return true;
}

ExfatClusterState CExfatVolume::State(uint32_t cluster) const
{
    if (cluster < kFirstCluster)
        return ExfatClusterState::InUse;
    const uint64_t bit = cluster - kFirstCluster;
    if (bit >= m_BitmapClusters || bit / 8 >= m_Bitmap.size())
        return ExfatClusterState::Unknown;
    return (m_Bitmap[bit / 8] >> (bit % 8)) & 1 ? ExfatClusterState::InUse : ExfatClusterState::Free;
}

CExfatVolumeFacts CExfatVolume::Facts()
{
    CExfatVolumeFacts facts;
    facts.clusterSize = m_Boot.clusterSize;
    // Clusters past the device's end are never planned: a volume that
    // claims more than it holds cannot make a plan run over all it claims.
    facts.lastCluster = m_Boot.lastCluster;
    const uint64_t size = m_Source.Size();
    if (size != 0) {
        const uint64_t onDevice = size > m_Boot.heapBytesOffset ? (size - m_Boot.heapBytesOffset) / m_Boot.clusterSize : 0;
        if (onDevice + kFirstCluster - 1 < facts.lastCluster)
            facts.lastCluster = static_cast<uint32_t>(onDevice + kFirstCluster - 1);
    }
    facts.state = [this](uint32_t c) { return State(c); };
    facts.next = [this](uint32_t c, uint32_t& v) { return Next(c, v); };
    return facts;
}
