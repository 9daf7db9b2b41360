#include "fat32/MUNdelete.h"

#include "engine/ZelEngineTable.h"
#include "fat32/Fat32Layout.h"
#include "filters/EngineCheckFile.h"
#include "jexcommon/ByteOrder.h"
#include "jexcommon/ZelText.h"
#include "platform/DiagLog.h"

#include <algorithm>
#include <cstring>

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

int32_t CMUNdelete::Scan(const std::string& volumePath, uint8_t mode, CZelEngineCheckFile* filter,
                         std::string& error)
{
    m_Found.clear();
    m_ReadDirectories.clear();
    m_Boot = CFat32BootSector();
    m_Mode = mode;
    m_pFilter = filter;
    m_Vanished = false;
    m_VanishedError = 0;

    uint8_t sector[kBootSectorSize];
    CZelRead boot = m_Reader.ReadAt(0, sector, sizeof sector);
    if (boot.end == ZelReadEnd::Failed)
        boot = m_Reader.ReadAt(0, sector, sizeof sector);
    if (boot.end == ZelReadEnd::Failed || boot.end == ZelReadEnd::Vanished) {
        error = volumePath + (boot.end == ZelReadEnd::Vanished ? ": the device is gone (" : ": the boot sector cannot be read (") +
                ZelErrorText(boot.error) + ")";
        return -1;
    }
    std::string problem;
    switch (ZelDecodeFat32BootSector(sector, boot.bytes, m_Boot, problem)) {
    case Fat32BootCheck::Fat32:
        break;
    case Fat32BootCheck::OtherFat:
        error = volumePath + ": a FAT" + std::to_string(m_Boot.variant) +
                " volume; only " + ZelSearchedFileSystems() + " volumes can be searched";
        return -1;
    case Fat32BootCheck::TooShort:
        error = volumePath + ": too small to hold a FAT32 boot sector";
        return -1;
    case Fat32BootCheck::Invalid:
        error = volumePath + ": no FAT32 boot sector (" + problem + ")";
        return -1;
    }

    // The walk stays inside both the volume the boot sector describes and
    // the bytes really there.
    uint64_t deviceSize = m_Reader.Size();
    m_VolumeEnd = m_Boot.volumeSize;
    if (deviceSize != 0 && (m_VolumeEnd == 0 || deviceSize < m_VolumeEnd))
        m_VolumeEnd = deviceSize;
    if (m_Sink.volumeSize)
        m_Sink.volumeSize(m_Boot.volumeSize != 0 ? m_Boot.volumeSize : m_VolumeEnd);

    m_FatWindow.clear();
    m_UnreadableFatWindows.clear();
    m_AfterHole.clear();
    m_ReadClusters.clear();
    m_ReadDirectories.insert(m_Boot.rootCluster);
    ReadDirectory(nullptr, m_Boot.rootCluster, 0, m_Found);
    if (m_Vanished) {
        error = volumePath + ": the device is gone (" + ZelErrorText(m_VanishedError) + "); the search ended there";
        return -1;
    }
    return 0;
}

void CMUNdelete::ReadDirectory(const CDirEntry* parent, uint32_t firstCluster, uint32_t depth,
                               std::vector<std::unique_ptr<CDirEntry>>& into)
{
    DirectoryRun run;
    run.depth = depth;
    if (!EnterCluster(run, firstCluster) || !ReadPiece(run))
        return;
    while (!m_Vanished) {
        size_t left = run.offsets.size() - run.next;
        CFatEntryGroup group;
        FatGroupParse parsed = ZelParseFatEntryGroup(run.bytes.data() + run.next * kEntrySize, left * kEntrySize, group);
        if (parsed == FatGroupParse::NeedMore) {
            if (!ReadMore(run))
                return;
            continue;
        }
        if (parsed == FatGroupParse::End)
            return;
        // A long name that starts right after a stretch that could not be
        // read may have lost its first pieces there: the 8.3 name is shown.
        if (m_AfterHole.count(run.offsets[run.next]) != 0)
            group.longName.clear();
        auto node = std::make_unique<CDirEntry>(parent);
        FillNode(*node, group, run.offsets[run.next]);
        run.next += group.entryCount;
        if (m_Sink.position)
            m_Sink.position(run.next < run.offsets.size() ? run.offsets[run.next] : run.offsets.back() + kEntrySize);
        Descend(*node, run.depth);
        if (Retain(*node))
            into.push_back(std::move(node));
    }
}

bool CMUNdelete::EnterCluster(DirectoryRun& run, uint32_t cluster)
{
    uint64_t start = 0;
    // Every cluster is read as directory entries at most once in a walk.
    if (run.entriesRead >= kMaxEntriesPerDirectory || cluster > m_Boot.lastCluster ||
        !m_Boot.ClusterOffset(cluster, start) || !m_ReadClusters.insert(cluster).second)
        return false;
    run.cluster = cluster;
    run.clusterStart = start;
    run.clusterRead = 0;
    return true;
}

bool CMUNdelete::ReadPiece(DirectoryRun& run)
{
    if (run.ended || run.clusterRead >= m_Boot.clusterSize)
        return false;
    // The entries taken by groups are dropped; what a group has begun stays.
    run.bytes.erase(run.bytes.begin(), run.bytes.begin() + static_cast<std::ptrdiff_t>(run.next * kEntrySize));
    run.offsets.erase(run.offsets.begin(), run.offsets.begin() + static_cast<std::ptrdiff_t>(run.next));
    run.next = 0;

    // The directory stays inside the volume and within its entry bound.
    const uint64_t offset = run.clusterStart + run.clusterRead;
    const uint64_t piece = std::min(kDirectoryPiece, m_Boot.clusterSize - run.clusterRead);
    uint64_t wanted = offset < m_VolumeEnd ? std::min(piece, m_VolumeEnd - offset) : 0;
    wanted = std::min<uint64_t>(wanted, static_cast<uint64_t>(kMaxEntriesPerDirectory - run.entriesRead) * kEntrySize);
    wanted -= wanted % kEntrySize;
    size_t have = run.bytes.size();
    run.bytes.resize(have + static_cast<size_t>(wanted));
    bool ended = false;
    size_t got = ReadDirectoryBytes(offset, run.bytes.data() + have, static_cast<size_t>(wanted), ended);
    got -= got % kEntrySize;
    run.bytes.resize(have + got);
    // A cut piece (the volume's end, a device gone, the entry bound) is the
    // last one the directory gets.
    if (got < piece || ended)
        run.ended = true;
    for (size_t at = 0; at < got; at += kEntrySize)
        run.offsets.push_back(offset + at);
    run.clusterRead += got;
    run.entriesRead += static_cast<uint32_t>(got / kEntrySize);
    return got != 0;
}

bool CMUNdelete::ReadMore(DirectoryRun& run)
{
    if (run.ended)
        return false;
    if (run.clusterRead >= m_Boot.clusterSize) {
        uint32_t next = NextDirectoryCluster(run.cluster);
        if (next == 0 || !EnterCluster(run, next))
            return false;
    }
    return ReadPiece(run);
}

void CMUNdelete::ReadFailed(const CZelRead& read, uint64_t offset, size_t count, const char* what)
{
    if (read.end == ZelReadEnd::Vanished) {
        m_Vanished = true;
        m_VanishedError = read.error;
        return;
    }
    ZelLogFormat("%s: %zu bytes at %llu cannot be read (%s); they are passed over.", what, count,
                 static_cast<unsigned long long>(offset), ZelErrorText(read.error).c_str());
    if (m_Sink.unreadable)
        m_Sink.unreadable();
}

size_t CMUNdelete::ReadDirectoryBytes(uint64_t offset, uint8_t* destination, size_t count, bool& ended)
{
    CZelRead read = m_Reader.ReadAt(offset, destination, count);
    // One more try: a read that failed once may well succeed again.
    if (read.end == ZelReadEnd::Failed)
        read = m_Reader.ReadAt(offset, destination, count);
    if (read.end != ZelReadEnd::Failed) {
        ended = !read.Complete();
        if (read.end == ZelReadEnd::Vanished)
            ReadFailed(read, offset, count, "A directory");
        return read.bytes;
    }
    // Sector by sector: what can be read is kept, every sector that cannot
    // is stood in for by deleted volume-label entries, so that the names on
    // either side of it stay apart and the walk goes on after it.
    static const uint8_t kStandIn[kEntrySize] = {kDeletedMark, ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', 0x08};
    const size_t sector = std::max<size_t>(m_Boot.bytesPerSector, kEntrySize);
    size_t done = read.bytes - read.bytes % sector;
    CZelRead failed = read;
    uint64_t firstFailed = 0;
    size_t unreadable = 0;
    while (done < count) {
        size_t wanted = std::min(sector, count - done);
        CZelRead part = m_Reader.ReadAt(offset + done, destination + done, wanted);
        if (part.end == ZelReadEnd::Vanished) {
            ReadFailed(part, offset + done, wanted, "A directory");
            ended = true;
            return done;
        }
        if (part.end == ZelReadEnd::VolumeEnd) {
            ended = true;
            count = done + part.bytes;
            break;
        }
        if (part.end == ZelReadEnd::Failed) {
            for (size_t at = 0; at + kEntrySize <= wanted; at += kEntrySize)
                std::memcpy(destination + done + at, kStandIn, kEntrySize);
            if (unreadable == 0)
                firstFailed = offset + done;
            unreadable += wanted;
            failed = part;
            // The name that starts after the hole may have lost its first
            // pieces in it.
            m_AfterHole.insert(offset + done + wanted);
        }
        done += wanted;
    }
    // The sectors of one read that cannot be read are one stretch.
    if (unreadable != 0)
        ReadFailed(failed, firstFailed, unreadable, "A directory");
    return count;
}

CMUNdelete::FatLookup CMUNdelete::ReadFatEntry(uint32_t cluster, uint32_t& value)
{
    constexpr uint64_t kWindow = 4096;
    const uint64_t tableBytes = static_cast<uint64_t>(m_Boot.sectorsPerFat32) * m_Boot.bytesPerSector;
    // An entry past the end of the table cannot be read.
    const uint64_t entry = 4ull * cluster;
    if (entry + 4 > tableBytes)
        return FatLookup::Beyond;
    if (m_FatWindow.empty() || entry < m_FatWindowStart || entry + 4 > m_FatWindowStart + m_FatWindow.size()) {
        const uint64_t start = entry - entry % kWindow;
        if (m_Vanished || m_UnreadableFatWindows.count(start) != 0)
            return FatLookup::Unreadable;
        m_FatWindow.clear();
        m_FatWindowStart = start;
        const size_t wanted = static_cast<size_t>(std::min(kWindow, tableBytes - start));
        // The first table, or where it cannot be read the second.
        CZelRead read;
        for (uint32_t copy = 0; copy < std::min<uint32_t>(m_Boot.numberOfFats, 2); ++copy) {
            m_FatWindow.resize(wanted);
            uint64_t at = m_Boot.fatOffset + copy * tableBytes + start;
            read = m_Reader.ReadAt(at, m_FatWindow.data(), wanted);
            if (read.end == ZelReadEnd::Failed)
                read = m_Reader.ReadAt(at, m_FatWindow.data(), wanted);
            if (read.end != ZelReadEnd::Failed)
                break;
        }
        m_FatWindow.resize(read.bytes);
        if (read.end == ZelReadEnd::Failed || read.end == ZelReadEnd::Vanished) {
            m_FatWindow.clear();
            m_UnreadableFatWindows.insert(start);
            ReadFailed(read, m_Boot.fatOffset + start, wanted, "The allocation table");
            return FatLookup::Unreadable;
        }
        if (entry + 4 > m_FatWindowStart + m_FatWindow.size())
            return FatLookup::Beyond;
    }
    value = ZelLE32(&m_FatWindow[static_cast<size_t>(entry - m_FatWindowStart)]) & 0x0FFFFFFF;
    return FatLookup::Value;
}

uint32_t CMUNdelete::NextDirectoryCluster(uint32_t cluster)
{
    uint32_t value = 0;
    FatLookup lookup = ReadFatEntry(cluster, value);
    // Where the table cannot be read, the directory's next cluster is not
    // known: it ends here.
    if (lookup == FatLookup::Unreadable)
        return 0;
    // A free entry (or one past the table): the chain of a deleted
    // directory was cleared, so its clusters are taken to follow each other,
    // as long as the next one is free too.
    if (lookup == FatLookup::Beyond || value == 0)
        return cluster < m_Boot.lastCluster && !IsAllocated(cluster + 1) ? cluster + 1 : 0;
    if (value >= 2 && value <= m_Boot.lastCluster)
        return value;
    // End of chain, bad or reserved cluster.
    return 0;
}

bool CMUNdelete::IsAllocated(uint32_t cluster)
{
    uint32_t value = 0;
    switch (ReadFatEntry(cluster, value)) {
    case FatLookup::Value:
        return value != 0;
    case FatLookup::Beyond:
        return false;
    case FatLookup::Unreadable:
        break;
    }
    // What cannot be read may belong to another file now.
    return true;
}

void CMUNdelete::FillNode(CDirEntry& node, const CFatEntryGroup& group, uint64_t offset) const
{
    node.m_Deleted = group.deleted;
    node.m_EntryOffset = offset;
    node.m_Attributes = group.attributes;
    node.m_Type = group.type;
    if (group.hasShortEntry) {
        const CFatDirEntryFields& entry = group.shortEntry;
        node.m_ShortName = CZelStringA(entry.ShortName().c_str());
        uint64_t dataOffset = 0;
        bool inside = entry.firstCluster <= m_Boot.lastCluster && m_Boot.ClusterOffset(entry.firstCluster, dataOffset);
        node.m_DataOffset = inside ? dataOffset : CDirEntry::kNoData;
        node.m_FirstCluster = entry.firstCluster;
        node.m_Size = entry.fileSize;
    } else {
        node.m_ShortName.Clear();
    }
    if (!group.longName.empty())
        node.m_LongName = CZelStringW(ZelUtf16ToWide(group.longName.data(), group.longName.size()).c_str());
    else
        node.m_LongName.Clear();
}

void CMUNdelete::Descend(CDirEntry& node, uint32_t depth)
{
    // Once per directory and not past the depth bound; "." and ".." are
    // never descended into. A directory of a deleted tree whose first
    // cluster the allocation table gives to something else now has lost its
    // content: it is not read.
    const char* shortName = node.m_ShortName.GetBuffer();
    bool dotEntry = shortName != nullptr && shortName[0] == '.';
    if (!m_Vanished && node.m_Type == FatEntryDirectory && !dotEntry && node.m_DataOffset != CDirEntry::kNoData &&
        depth < kMaxDepth && (!node.IsInDeletedTree() || !IsAllocated(node.m_FirstCluster)) &&
        m_ReadDirectories.insert(node.m_FirstCluster).second)
        ReadDirectory(&node, node.m_FirstCluster, depth + 1, node.m_Children);
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
    if (m_pFilter == nullptr || directory)
        return true;
    CZelFoundEntryView view = entry.GetView();
    return m_pFilter->Check(&view);
}
