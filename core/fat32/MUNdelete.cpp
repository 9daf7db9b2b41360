#include "fat32/MUNdelete.h"

#include "ByteOrder.h"
#include "fat32/Fat32Layout.h"
#include "filters/EngineCheckFile.h"
#include "jexfscore/ZelText.h"

using namespace fat32layout;

CMUNdelete::CMUNdelete(CBlockReader& reader, ProgressSink sink) : m_Reader(reader), m_Sink(std::move(sink)) {}

uint32_t CMUNdelete::GetEntryCount() const
{
    return static_cast<uint32_t>(m_Found.size());
}

const CDirEntry* CMUNdelete::GetEntry(uint32_t index) const
{
    return index < m_Found.size() ? m_Found[index].get() : nullptr;
}

int32_t CMUNdelete::Scan(const std::string& volumePath, uint8_t mode, CFat32CheckFile* filter, std::string& error)
{
    m_Found.clear();
    m_ReadDirectories.clear();
    m_Boot = CFat32BootSector();
    m_Mode = mode;
    m_pFilter = filter;

    std::string reason;
    if (m_Reader.open(volumePath, reason) != 0) {
        error = volumePath + ": " + reason;
        return -1;
    }
    uint8_t sector[kBootSectorSize];
    m_Reader.seek(0, CBlockReader::kFromStart);
    int64_t got = m_Reader.read(sizeof sector, sector);
    std::string problem;
    switch (ZelDecodeFat32BootSector(sector, got > 0 ? static_cast<size_t>(got) : 0, m_Boot, problem)) {
    case Fat32BootCheck::Fat32:
        break;
    case Fat32BootCheck::OtherFat:
        error = volumePath + ": a FAT" + std::to_string(m_Boot.variant) +
                " volume; only FAT32 and NTFS volumes can be searched";
        m_Reader.close();
        return -1;
    case Fat32BootCheck::TooShort:
        error = volumePath + ": too small to hold a FAT32 boot sector";
        m_Reader.close();
        return -1;
    case Fat32BootCheck::Invalid:
        error = volumePath + ": no FAT32 boot sector (" + problem + ")";
        m_Reader.close();
        return -1;
    }

    // The walk stays inside both the volume the boot sector describes and
    // the bytes really there.
    uint64_t deviceSize = m_Reader.volumeSize();
    m_VolumeEnd = m_Boot.volumeSize;
    if (deviceSize != 0 && (m_VolumeEnd == 0 || deviceSize < m_VolumeEnd))
        m_VolumeEnd = deviceSize;
    if (m_Sink.volumeSize)
        m_Sink.volumeSize(m_Boot.volumeSize != 0 ? m_Boot.volumeSize : m_VolumeEnd);

    m_FatWindow.clear();
    m_ReadClusters.clear();
    m_ReadDirectories.insert(m_Boot.rootCluster);
    ReadDirectory(nullptr, m_Boot.rootCluster, 0, m_Found);
    return 0;
}

void CMUNdelete::ReadDirectory(const CDirEntry* parent, uint32_t firstCluster, uint32_t depth,
                               std::vector<std::unique_ptr<CDirEntry>>& into)
{
    DirectoryRun run;
    run.depth = depth;
    if (!EnterCluster(run, firstCluster))
        return;
    auto work = std::make_unique<CDirEntry>(parent);
    while (ReadEntryGroup(*work, run) > 0) {
        if (Retain(*work)) {
            into.push_back(std::move(work));
            work = std::make_unique<CDirEntry>(parent);
        }
    }
}

bool CMUNdelete::EnterCluster(DirectoryRun& run, uint32_t cluster)
{
    uint64_t start = 0;
    // Every cluster is read as directory entries at most once in a walk.
    if (cluster > m_Boot.lastCluster || !m_Boot.ClusterOffset(cluster, start) || !m_ReadClusters.insert(cluster).second)
        return false;
    if (m_Reader.seek(static_cast<int64_t>(start), CBlockReader::kFromStart) == CBlockReader::kInvalidPosition)
        return false;
    run.cluster = cluster;
    run.clusterEnd = start + m_Boot.clusterSize;
    return true;
}

bool CMUNdelete::ReadFatEntry(uint32_t cluster, uint32_t& value)
{
    constexpr uint64_t kWindow = 4096;
    // An entry past the end of the table cannot be read.
    if (4ull * cluster + 4 > static_cast<uint64_t>(m_Boot.sectorsPerFat32) * m_Boot.bytesPerSector)
        return false;
    uint64_t offset = m_Boot.fatOffset + 4ull * cluster;
    if (m_FatWindow.empty() || offset < m_FatWindowStart || offset + 4 > m_FatWindowStart + m_FatWindow.size()) {
        uint64_t start = offset - offset % kWindow;
        m_FatWindow.resize(kWindow);
        m_Reader.seek(static_cast<int64_t>(start), CBlockReader::kFromStart);
        int64_t got = m_Reader.read(kWindow, m_FatWindow.data());
        m_FatWindow.resize(got > 0 ? static_cast<size_t>(got) : 0);
        m_FatWindowStart = start;
        if (offset + 4 > m_FatWindowStart + m_FatWindow.size())
            return false;
    }
    value = ZelLE32(&m_FatWindow[static_cast<size_t>(offset - m_FatWindowStart)]) & 0x0FFFFFFF;
    return true;
}

uint32_t CMUNdelete::NextDirectoryCluster(uint32_t cluster)
{
    uint32_t value = 0;
    // A free entry (or one that cannot be read): the chain of a deleted
    // directory was cleared, so its clusters are taken to follow each other,
    // as long as the next one is free too.
    if (!ReadFatEntry(cluster, value) || value == 0)
        return cluster < m_Boot.lastCluster && !IsAllocated(cluster + 1) ? cluster + 1 : 0;
    if (value >= 2 && value <= m_Boot.lastCluster)
        return value;
    // End of chain, bad or reserved cluster.
    return 0;
}

bool CMUNdelete::IsAllocated(uint32_t cluster)
{
    uint32_t value = 0;
    return ReadFatEntry(cluster, value) && value != 0;
}

bool CMUNdelete::ReadRawEntry(DirectoryRun& run, CFatDirEntryFields& entry, uint64_t& offset)
{
    if (run.entries >= kMaxEntriesPerDirectory)
        return false;
    offset = m_Reader.seek(0, CBlockReader::kFromCurrent);
    if (offset == CBlockReader::kInvalidPosition)
        return false;
    if (offset >= run.clusterEnd) {
        uint32_t next = NextDirectoryCluster(run.cluster);
        if (next == 0 || !EnterCluster(run, next))
            return false;
        offset = m_Reader.seek(0, CBlockReader::kFromCurrent);
    }
    if (offset >= m_VolumeEnd || m_VolumeEnd - offset < kEntrySize)
        return false;
    uint8_t bytes[kEntrySize];
    // A short or failed read ends the directory.
    if (m_Reader.read(kEntrySize, bytes) != static_cast<int64_t>(kEntrySize))
        return false;
    ++run.entries;
    return ZelDecodeFatDirEntry(bytes, kEntrySize, entry);
}

void CMUNdelete::TakeShortEntry(CDirEntry& node, const CFatDirEntryFields& entry) const
{
    node.m_Attributes = entry.attributes;
    node.m_Type = entry.Type();
    std::string shortName = entry.ShortName();
    node.m_ShortName = CZelStringA(shortName.c_str());
    uint64_t offset = 0;
    bool inside = entry.firstCluster <= m_Boot.lastCluster && m_Boot.ClusterOffset(entry.firstCluster, offset);
    node.m_DataOffset = inside ? offset : CDirEntry::kNoData;
    node.m_FirstCluster = entry.firstCluster;
    node.m_Size = entry.fileSize;
}

int CMUNdelete::ReadEntryGroup(CDirEntry& node, DirectoryRun& run)
{
    node.m_LongName.Clear();
    node.m_ShortName.Clear();
    node.m_Children.clear();
    node.m_Attributes = 0;
    node.m_Type = FatEntryOther;
    node.m_DataOffset = CDirEntry::kNoData;
    node.m_FirstCluster = 0;
    node.m_Size = 0;

    CFatDirEntryFields entry;
    uint64_t position = 0;
    if (!ReadRawEntry(run, entry, position))
        return -1;
    node.m_Deleted = entry.IsDeleted();
    if (entry.IsEndOfDirectory())
        return 0;
    node.m_EntryOffset = position;

    // The name pieces of the long-name entries, last piece first; a name
    // has at most 20 of them, further ones are read past.
    std::vector<std::u16string> pieces;
    auto addPiece = [&pieces](const CFatDirEntryFields& e) {
        if (pieces.size() < kMaxLongNameEntries)
            pieces.push_back(e.NameUnitsText());
    };
    if (entry.IsLongNameEntry()) {
        if (entry.attributes != kLongNameAttributes) {
            node.m_Attributes = entry.attributes;
            node.m_Type = entry.Type();
        }
        addPiece(entry);
    } else {
        // A first cluster past the last valid one ends the directory here.
        if (entry.firstCluster > kLastValidCluster)
            return 0;
        TakeShortEntry(node, entry);
    }

    // Long-name entries are followed by more of the name and then the short
    // entry of the group.
    if (entry.attributes == kLongNameAttributes) {
        CFatDirEntryFields last = entry;
        while (last.caseByte == 0) {
            CFatDirEntryFields next;
            uint64_t nextOffset = 0;
            if (!ReadRawEntry(run, next, nextOffset) || next.IsEndOfDirectory())
                return 0;
            if (next.IsDeleted() != node.m_Deleted) {
                // Leftover entries of another group (a deleted name in
                // front of a live entry, or the reverse): the group ends
                // before this entry, which starts the next one.
                m_Reader.seek(static_cast<int64_t>(nextOffset), CBlockReader::kFromStart);
                --run.entries;
                break;
            }
            if (next.attributes == kLongNameAttributes) {
                addPiece(next);
            } else {
                if (next.firstCluster > kLastValidCluster)
                    return 0;
                TakeShortEntry(node, next);
            }
            last = next;
            if (!next.IsLongNameEntry())
                break;
        }
    }
    if (!pieces.empty()) {
        std::u16string longName;
        for (auto it = pieces.rbegin(); it != pieces.rend(); ++it)
            longName += *it;
        if (!longName.empty())
            node.m_LongName = CZelStringW(ZelUtf16ToWide(longName.data(), longName.size()).c_str());
    }

    uint64_t resume = m_Reader.seek(0, CBlockReader::kFromCurrent);
    if (m_Sink.position)
        m_Sink.position(resume);

    // Descend into a directory, once per directory and not past the depth
    // bound; "." and ".." are never descended into. A directory of a
    // deleted tree whose first cluster the allocation table gives to
    // something else now has lost its content: it is not read.
    const char* shortName = node.m_ShortName.GetBuffer();
    bool dotEntry = shortName != nullptr && shortName[0] == '.';
    if (node.m_Type == FatEntryDirectory && !dotEntry && node.m_DataOffset != CDirEntry::kNoData &&
        run.depth < kMaxDepth && (!node.IsInDeletedTree() || !IsAllocated(node.m_FirstCluster)) &&
        m_ReadDirectories.insert(node.m_FirstCluster).second)
        ReadDirectory(&node, node.m_FirstCluster, run.depth + 1, node.m_Children);
    // The descent and allocation-table look-ups move the reader.
    m_Reader.seek(static_cast<int64_t>(resume), CBlockReader::kFromStart);
    return 1;
}

bool CMUNdelete::Retain(const CDirEntry& entry) const
{
    const char* shortName = entry.m_ShortName.GetBuffer();
    if (shortName != nullptr && shortName[0] == '.')
        return false;
    // Volume labels and stray long-name entries are not files.
    bool directory = entry.m_Type == FatEntryDirectory;
    if (!directory && entry.m_Type != FatEntryFile)
        return false;
    if (m_Mode != 0 && !directory && !entry.IsInDeletedTree())
        return false;
    return m_pFilter == nullptr || directory || m_pFilter->Check(&entry);
}
