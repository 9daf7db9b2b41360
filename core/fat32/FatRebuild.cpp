// A deep search of a volume whose boot sector is no FAT one (a card that
// "needs formatting"): the layout is taken from the backup boot sector, or
// rebuilt from the folders found in the data. Nothing is written anywhere.
#include "fat32/MUNdelete.h"

#include "carve/Carver.h"
#include "fat32/Fat32Layout.h"
#include "jexcommon/ZelText.h"

#include <algorithm>

using namespace fat32layout;

CMUNdelete::Rebuild CMUNdelete::RebuildLayout(const std::string& volumePath, const std::string& problem, std::string& error)
{
    const std::string why = volumePath + ": no FAT boot sector (" + problem + ")";
    auto tell = [this](const std::string& text) {
        if (m_Sink.notice)
            m_Sink.notice(text);
    };
    // FAT32 keeps a copy of its boot sector in sector 6.
    for (uint64_t sectorSize : {uint64_t(512), uint64_t(4096)}) {
        uint8_t backup[kBootSectorSize];
        CZelRead read = ZelReadRetrying(m_Reader, 6 * sectorSize, backup, sizeof backup);
        if (read.end == ZelReadEnd::Vanished) {
            error = volumePath + ": the device is gone (" + ZelErrorText(read.error) + ")";
            return Rebuild::Failed;
        }
        CFatBootSector boot;
        std::string ignored;
        if (read.bytes == sizeof backup && ZelDecodeFatBootSector(backup, sizeof backup, boot, ignored) == FatBootCheck::Fat &&
            boot.variant == 32 && boot.bytesPerSector == sectorSize) {
            m_Boot = boot;
            tell(why + "; the copy in sector 6 was read instead");
            return Rebuild::Layout;
        }
    }
    // The folders in the data: one pass over the whole volume, which the
    // signature search reads too, sector by sector.
    CZelCarver* carver = m_Sink.carver ? m_Sink.carver() : nullptr;
    const uint64_t size = m_Reader.Size();
    const double total = std::max<double>(1.0, static_cast<double>(size));
    CFatGeometry geometry;
    CZelRead gone;
    if (!ZelFindFatGeometry(
            m_Reader, size, geometry, [this] { return Stopped(); },
            [&](uint64_t done) { Publish(kTableStage, 0.8, static_cast<double>(done) / total); },
            [this](const CZelRead& read, uint64_t offset, size_t count) { ReadFailed(read, offset, count, "The volume"); },
            [carver](uint64_t offset, const uint8_t* bytes, size_t count) {
                if (carver != nullptr)
                    carver->Feed(offset, bytes, count);
            },
            gone)) {
        error = volumePath + ": the device is gone (" + ZelErrorText(gone.error) + "); the search ended there";
        return Rebuild::Failed;
    }
    if (!geometry.found) {
        if (carver == nullptr) {
            error = why + ", and no folders in its data tell where its clusters lie";
            return Rebuild::Failed;
        }
        tell(why + ", and no folders in its data tell where its clusters lie: its files were searched for by their "
                   "signatures alone");
        return Rebuild::Raw;
    }
    m_Boot = ZelBootOfGeometry(geometry, size);
    m_FromFolders = true;
    if (m_Boot.HasFixedRoot())
        FindRootRegion(geometry.dataStart);
    // The clusters that hold entries: the only ones the search of the free
    // clusters reads again.
    for (uint64_t offset : geometry.entrySectors) {
        if (offset < geometry.dataStart)
            continue;
        const uint64_t cluster = (offset - geometry.dataStart) / geometry.clusterSize + 2;
        if (cluster <= m_Boot.lastCluster && (m_EntryClusters.empty() || m_EntryClusters.back() != cluster))
            m_EntryClusters.push_back(static_cast<uint32_t>(cluster));
    }
    tell(why + "; its layout was rebuilt from " + std::to_string(geometry.agreeing) + " of the " +
         std::to_string(geometry.folders) + " folders found in its data: " + m_Boot.Name() + ", clusters of " +
         std::to_string(geometry.clusterSize) + " bytes from byte " + std::to_string(geometry.dataStart));
    return Rebuild::Layout;
}

void CMUNdelete::FindRootRegion(uint64_t dataStart)
{
    // The fixed root ends where the data begins; its size is one of those
    // formatters use (512 entries on cards and disks, 224 or 112 on
    // floppies). The largest whose first sector holds entries is taken:
    // larger ones begin in the tables, which hold no entries.
    m_Boot.rootBytes = 0;
    CFatEntryLimits limits;
    limits.lastCluster = m_Boot.lastCluster;
    limits.dataBytes = static_cast<uint64_t>(m_Boot.lastCluster) * m_Boot.clusterSize;
    limits.clusterHighWord = false;
    for (uint64_t entries : {1024, 512, 256, 240, 224, 112, 64, 16}) {
        const uint64_t bytes = entries * kEntrySize;
        if (bytes > dataStart)
            continue;
        std::vector<uint8_t> sector(512);
        CZelRead read = ZelReadRetrying(m_Reader, dataStart - bytes, sector.data(), sector.size());
        if (read.bytes != sector.size())
            continue;
        if (ZelLookAtDirectoryCluster(sector.data(), sector.size(), 0, limits).look == FatClusterLook::NotDirectory)
            continue;
        m_Boot.rootOffset = dataStart - bytes;
        m_Boot.rootBytes = bytes;
        m_Boot.rootEntryCount = static_cast<uint16_t>(entries);
        return;
    }
}

bool CMUNdelete::WorthReading(uint32_t cluster) const
{
    if (m_Map.InUse(cluster))
        return false;
    return !m_FromFolders || std::binary_search(m_EntryClusters.begin(), m_EntryClusters.end(), cluster);
}

bool CMUNdelete::ReadsFreeClusters(const CDirEntry& file)
{
    if (file.IsInDeletedTree() || m_FromFolders)
        return true;
    // A live file of a volume whose table was cleared with its boot sector.
    uint32_t value = 0;
    return m_Rebuilt && m_pTable && m_pTable->Read(file.m_FirstCluster, value) == CFatTableReader::Lookup::Value &&
           value == 0;
}
