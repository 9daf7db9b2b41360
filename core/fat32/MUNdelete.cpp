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
    m_Folders.clear();
    m_pOrphans = nullptr;
    m_WalkClusters = 0;
    m_Told = 0.0;
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
    m_FatWindow.clear();
    m_UnreadableFatWindows.clear();
    m_AfterHole.clear();
    m_ReadClusters.clear();
    m_Limits.lastCluster = m_Boot.lastCluster;
    m_Limits.dataBytes = m_Boot.lastCluster >= 2 ? static_cast<uint64_t>(m_Boot.lastCluster - 1) * m_Boot.clusterSize : 0;

    // The stages and their shares of the progress: the allocation table, the
    // walk, the free clusters, the judging of the files.
    constexpr double kTable = 0.0, kWalk = 0.1, kLost = 0.3, kJudge = 0.95;
    bool loaded = m_Map.Load(
        m_Reader, m_Boot, [this](double done) { Publish(kTable, kWalk - kTable, done); },
        [this](const CZelRead& read, uint64_t offset, size_t count) {
            ReadFailed(read, offset, count, "The allocation table");
        });
    if (loaded) {
        m_ReadDirectories.insert(m_Boot.rootCluster);
        m_Folders[m_Boot.rootCluster] = FolderPlace();
        m_Folders[0] = FolderPlace();
        ReadDirectory(nullptr, m_Boot.rootCluster, 0, m_Found, true);
        Publish(kWalk, kLost - kWalk, 1.0);
    }
    if (loaded && !m_Vanished)
        FindLostFolders();
    if (!loaded || m_Vanished) {
        error = volumePath + ": the device is gone (" + ZelErrorText(m_VanishedError) + "); the search ended there";
        return -1;
    }
    Publish(kLost, kJudge - kLost, 1.0);
    JudgeFiles();
    Publish(kJudge, 1.0 - kJudge, 1.0);
    return 0;
}

void CMUNdelete::Publish(double start, double weight, double done)
{
    // The share only grows.
    double share = start + weight * std::min(1.0, std::max(0.0, done));
    if (share <= m_Told)
        return;
    m_Told = share;
    if (m_Sink.fraction)
        m_Sink.fraction(share);
}

void CMUNdelete::ReadDirectory(const CDirEntry* parent, uint32_t firstCluster, uint32_t depth,
                               std::vector<std::unique_ptr<CDirEntry>>& into, bool proven)
{
    DirectoryRun run;
    run.depth = depth;
    run.proven = proven;
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
    // The walk's share grows with every cluster it reads, never reaching
    // its end before the walk does.
    ++m_WalkClusters;
    Publish(0.1, 0.2, static_cast<double>(m_WalkClusters) / static_cast<double>(m_WalkClusters + 256));
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
    // Nothing left to read: the volume or the bound ends the directory.
    if (wanted == 0) {
        run.ended = true;
        return false;
    }
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
        bool guessed = false;
        uint32_t next = NextDirectoryCluster(run.cluster, guessed);
        // A cluster no chain names is the folder's next one only when it
        // holds entries and does not start a folder of its own.
        if (next != 0 && (guessed || !run.proven) && m_ReadClusters.count(next) == 0 &&
            LookAt(next).look != FatClusterLook::FolderPart)
            return false;
        if (next == 0 || !EnterCluster(run, next))
            return false;
        run.proven = run.proven && !guessed;
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
        m_Sink.unreadable(count);
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
            // The stretch was counted when the table was first read whole.
            if (read.end == ZelReadEnd::Vanished)
                ReadFailed(read, m_Boot.fatOffset + start, wanted, "The allocation table");
            return FatLookup::Unreadable;
        }
        if (entry + 4 > m_FatWindowStart + m_FatWindow.size())
            return FatLookup::Beyond;
    }
    value = ZelLE32(&m_FatWindow[static_cast<size_t>(entry - m_FatWindowStart)]) & 0x0FFFFFFF;
    return FatLookup::Value;
}

uint32_t CMUNdelete::NextDirectoryCluster(uint32_t cluster, bool& guessed)
{
    guessed = false;
    uint32_t value = 0;
    FatLookup lookup = ReadFatEntry(cluster, value);
    // Where the table cannot be read, the directory's next cluster is not
    // known: it ends here.
    if (lookup == FatLookup::Unreadable)
        return 0;
    // A free entry (or one past the table): the chain of a deleted
    // directory was cleared, so its clusters are taken to follow each other,
    // as long as the next one is free too.
    if (lookup == FatLookup::Beyond || value == 0) {
        guessed = true;
        return cluster < m_Boot.lastCluster && !IsAllocated(cluster + 1) ? cluster + 1 : 0;
    }
    if (value >= 2 && value <= m_Boot.lastCluster)
        return value;
    // End of chain, bad or reserved cluster.
    return 0;
}

bool CMUNdelete::IsAllocated(uint32_t cluster)
{
    // What the table does not tell may belong to another file now.
    return m_Map.InUse(cluster);
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
        node.m_StartCluster = entry.firstCluster;
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
    if (m_Vanished || node.m_Type != FatEntryDirectory || dotEntry || node.m_DataOffset == CDirEntry::kNoData ||
        depth >= kMaxDepth || m_ReadDirectories.count(node.m_FirstCluster) != 0)
        return;
    // A folder of a deleted tree is read only when its first cluster is
    // free and still starts with its "." and "..": otherwise it holds
    // something else now.
    const bool deleted = node.IsInDeletedTree();
    if (deleted && (IsAllocated(node.m_FirstCluster) || m_ReadClusters.count(node.m_FirstCluster) != 0 ||
                    LookAt(node.m_FirstCluster).look != FatClusterLook::FolderStart))
        return;
    m_ReadDirectories.insert(node.m_FirstCluster);
    m_Folders.emplace(node.m_FirstCluster, FolderPlace{&node, depth + 1});
    ReadDirectory(&node, node.m_FirstCluster, depth + 1, node.m_Children, !deleted);
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

bool CMUNdelete::ReadCluster(uint32_t cluster, std::vector<uint8_t>& bytes, bool countFailure)
{
    uint64_t offset = 0;
    if (cluster > m_Boot.lastCluster || !m_Boot.ClusterOffset(cluster, offset) || offset >= m_VolumeEnd)
        return false;
    bytes.resize(static_cast<size_t>(std::min<uint64_t>(m_Boot.clusterSize, m_VolumeEnd - offset)));
    CZelRead read = m_Reader.ReadAt(offset, bytes.data(), bytes.size());
    if (read.end == ZelReadEnd::Failed)
        read = m_Reader.ReadAt(offset, bytes.data(), bytes.size());
    if (read.end == ZelReadEnd::Failed || read.end == ZelReadEnd::Vanished) {
        if (countFailure || read.end == ZelReadEnd::Vanished)
            ReadFailed(read, offset, bytes.size(), "A directory");
        return false;
    }
    bytes.resize(read.bytes - read.bytes % kEntrySize);
    return !bytes.empty();
}

CFatClusterLook CMUNdelete::LookAt(uint32_t cluster)
{
    std::vector<uint8_t> bytes;
    if (!ReadCluster(cluster, bytes))
        return CFatClusterLook();
    return ZelLookAtDirectoryCluster(bytes.data(), bytes.size(), cluster, m_Limits);
}

CDirEntry& CMUNdelete::Orphans()
{
    if (m_pOrphans == nullptr) {
        auto node = std::make_unique<CDirEntry>(nullptr);
        node->m_Deleted = true;
        node->m_Type = FatEntryDirectory;
        node->m_Attributes = 0x10;
        node->m_ShortName = CZelStringA(kOrphanFolder);
        node->m_LongName = CZelStringW(ZelNarrowToWide(kOrphanFolder).c_str());
        m_pOrphans = node.get();
        m_Found.push_back(std::move(node));
    }
    return *m_pOrphans;
}

bool CMUNdelete::OwnerOf(const std::vector<uint8_t>& bytes, uint32_t& owner)
{
    for (size_t at = 0; at + kEntrySize <= bytes.size(); at += kEntrySize) {
        CFatDirEntryFields entry;
        ZelDecodeFatDirEntry(bytes.data() + at, kEntrySize, entry);
        if (entry.IsEndOfDirectory())
            break;
        if (entry.IsLongNameEntry() || entry.Type() != FatEntryDirectory || entry.baseName[0] == '.' ||
            entry.firstCluster < 2 || IsAllocated(entry.firstCluster))
            continue;
        // The subfolder's ".." names the folder this cluster belongs to.
        CFatClusterLook sub = LookAt(entry.firstCluster);
        if (sub.look == FatClusterLook::FolderStart && m_Folders.count(sub.parentCluster) != 0) {
            owner = sub.parentCluster;
            return true;
        }
    }
    return false;
}

void CMUNdelete::FindLostFolders()
{
    // The free clusters are read in stretches, in volume order; a cluster
    // that holds directory entries is read as a folder there and then, so
    // the clusters that follow it in its folder are read with it.
    const uint64_t freeClusters = std::max<uint64_t>(1, m_Map.FreeCount());
    const uint64_t perStretch = std::max<uint64_t>(1, (uint64_t(1) << 20) / m_Boot.clusterSize);
    std::vector<uint8_t> stretch;
    uint64_t looked = 0;
    for (uint32_t cluster = m_Map.NextFree(2); cluster != 0 && !m_Vanished;) {
        uint32_t count = 1;
        while (count < perStretch && cluster + count <= m_Boot.lastCluster && !m_Map.InUse(cluster + count))
            ++count;
        uint64_t offset = 0;
        if (!m_Boot.ClusterOffset(cluster, offset) || offset >= m_VolumeEnd)
            break;
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(count * m_Boot.clusterSize, m_VolumeEnd - offset));
        stretch.resize(wanted);
        CZelRead read = m_Reader.ReadAt(offset, stretch.data(), wanted);
        if (read.end == ZelReadEnd::Failed)
            read = m_Reader.ReadAt(offset, stretch.data(), wanted);
        if (read.end == ZelReadEnd::Failed || read.end == ZelReadEnd::Vanished) {
            ReadFailed(read, offset, wanted, "Free clusters");
        } else {
            for (uint32_t i = 0; i < count && !m_Vanished; ++i) {
                const uint64_t at = i * m_Boot.clusterSize;
                if (at >= read.bytes)
                    break;
                const uint32_t c = cluster + i;
                if (m_ReadClusters.count(c) != 0)
                    continue;
                size_t size = static_cast<size_t>(std::min<uint64_t>(m_Boot.clusterSize, read.bytes - at));
                CFatClusterLook look = ZelLookAtDirectoryCluster(stretch.data() + at, size - size % kEntrySize, c, m_Limits);
                if (look.look != FatClusterLook::NotDirectory)
                    ReadLostCluster(c, look);
            }
        }
        looked += count;
        Publish(0.3, 0.6, static_cast<double>(looked) / static_cast<double>(freeClusters));
        if (static_cast<uint64_t>(cluster) + count > m_Boot.lastCluster)
            break;
        cluster = m_Map.NextFree(cluster + count);
    }
    // A folder of orphans that kept nothing is not listed.
    if (m_pOrphans != nullptr && m_pOrphans->m_Children.empty()) {
        m_Found.erase(std::remove_if(m_Found.begin(), m_Found.end(),
                                     [this](const std::unique_ptr<CDirEntry>& n) { return n.get() == m_pOrphans; }),
                      m_Found.end());
        m_pOrphans = nullptr;
    }
}

void CMUNdelete::ReadLostCluster(uint32_t cluster, const CFatClusterLook& look)
{
    if (look.look == FatClusterLook::FolderStart) {
        // A folder whose entry is gone: under its parent when the parent was
        // read, else with the orphans. Its name is lost with it.
        auto parent = m_Folders.find(look.parentCluster);
        CDirEntry* holder = parent != m_Folders.end() ? parent->second.node : nullptr;
        uint32_t depth = parent != m_Folders.end() ? parent->second.depth : 0;
        if (parent == m_Folders.end()) {
            holder = &Orphans();
            depth = 1;
        }
        if (depth >= kMaxDepth || !m_ReadDirectories.insert(cluster).second)
            return;
        auto node = std::make_unique<CDirEntry>(holder);
        node->m_Deleted = true;
        node->m_Type = FatEntryDirectory;
        node->m_Attributes = 0x10;
        node->m_FirstCluster = node->m_StartCluster = cluster;
        uint64_t offset = 0;
        node->m_DataOffset = m_Boot.ClusterOffset(cluster, offset) ? offset : CDirEntry::kNoData;
        std::string name = "Lost folder " + std::to_string(cluster);
        node->m_ShortName = CZelStringA(name.c_str());
        node->m_LongName = CZelStringW(ZelNarrowToWide(name).c_str());
        CDirEntry* folder = node.get();
        m_Folders.emplace(cluster, FolderPlace{folder, depth + 1});
        (holder != nullptr ? holder->m_Children : m_Found).push_back(std::move(node));
        ReadDirectory(folder, cluster, depth + 1, folder->m_Children, false);
        return;
    }
    // A later cluster of a folder: where a subfolder it lists names its
    // folder, the entries join that folder.
    std::vector<uint8_t> bytes;
    uint32_t owner = 0;
    if (!ReadCluster(cluster, bytes))
        return;
    if (OwnerOf(bytes, owner)) {
        FolderPlace place = m_Folders[owner];
        if (place.depth < kMaxDepth)
            ReadDirectory(place.node, cluster, place.depth, place.node != nullptr ? place.node->m_Children : m_Found,
                          false);
        return;
    }
    CDirEntry& orphans = Orphans();
    ReadDirectory(&orphans, cluster, 1, orphans.m_Children, false);
}

void CMUNdelete::ResolveStart(CDirEntry& file)
{
    file.m_StartCluster = file.m_FirstCluster;
    // Some systems clear the high word of the first cluster on deletion. On
    // a volume of more than 65,535 clusters, a start in use by another file
    // may then lie 65,536 clusters (or a multiple) further on: the places
    // where the whole file would lie on free clusters that hold data are the
    // candidates. Never-written space (zeros) is no file's start.
    const uint32_t low = file.m_FirstCluster;
    if (m_Boot.lastCluster <= 0xFFFF || low < 2 || low > 0xFFFF || file.m_Size == 0 || !m_Map.InUse(low))
        return;
    const uint64_t needed = (file.m_Size + m_Boot.clusterSize - 1) / m_Boot.clusterSize;
    // A long file is judged by its first clusters.
    const uint64_t checked = std::min<uint64_t>(needed, 4096);
    uint32_t first = 0, candidates = 0;
    for (uint64_t c = static_cast<uint64_t>(low) + 0x10000; c <= m_Boot.lastCluster; c += 0x10000) {
        if (c + needed - 1 > m_Boot.lastCluster)
            break;
        if (m_Map.FreeIn(static_cast<uint32_t>(c), checked) != checked || !HoldsData(static_cast<uint32_t>(c)))
            continue;
        if (candidates++ == 0)
            first = static_cast<uint32_t>(c);
    }
    if (candidates == 0)
        return;
    file.m_StartCluster = first;
    uint64_t offset = 0;
    file.m_DataOffset = m_Boot.ClusterOffset(first, offset) ? offset : CDirEntry::kNoData;
    if (candidates > 1)
        file.m_EstimateNote = "its start is uncertain: " + std::to_string(candidates) + " places on the volume fit it";
    file.m_StartCandidates = candidates;
}

bool CMUNdelete::HoldsData(uint32_t cluster)
{
    std::vector<uint8_t> bytes;
    return ReadCluster(cluster, bytes, false) &&
           std::any_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b != 0; });
}

CFatRestorePlan CMUNdelete::PlanRestore(const CDirEntry& file)
{
    if (file.IsInDeletedTree())
        return ZelPlanFatRestore(m_Map, file.m_StartCluster, file.m_Size, m_Boot.clusterSize);
    return ZelPlanFatChain(file.m_FirstCluster, file.m_Size, m_Boot.clusterSize, m_Boot.lastCluster,
                           [this](uint32_t cluster, uint32_t& next) {
                               return ReadFatEntry(cluster, next) == FatLookup::Value && next >= 2 &&
                                      next <= m_Boot.lastCluster;
                           });
}

void CMUNdelete::JudgeFiles()
{
    // Every file of the found tree, depth first.
    std::vector<CDirEntry*> files;
    std::vector<CDirEntry*> pending;
    for (auto& node : m_Found)
        pending.push_back(node.get());
    while (!pending.empty()) {
        CDirEntry* node = pending.back();
        pending.pop_back();
        for (auto& child : node->m_Children)
            pending.push_back(child.get());
        if (node->m_Type == FatEntryFile)
            files.push_back(node);
    }
    // The clusters the deleted files' restores read, and those that more
    // than one of them reads. Marking stops after a bound of work, so that
    // a volume of crafted entries cannot hold the scan; the files after it
    // are not compared with the others.
    // Restores read free clusters only, and the map knows a free one no
    // further than the table and the device reach.
    const uint64_t known = m_Map.KnownEnd();
    const size_t words = static_cast<size_t>(known / 64 + 1);
    std::vector<uint64_t> once(words, 0), twice(words, 0);
    uint64_t budget = 16 * (static_cast<uint64_t>(m_Boot.lastCluster) + 1) + (uint64_t(1) << 20);
    std::vector<bool> compared(files.size(), false);
    for (size_t i = 0; i < files.size(); ++i) {
        CDirEntry& file = *files[i];
        if (!file.IsInDeletedTree())
            continue;
        ResolveStart(file);
        const uint64_t needed = (file.m_Size + m_Boot.clusterSize - 1) / m_Boot.clusterSize;
        if (needed > budget)
            continue;
        budget -= needed;
        compared[i] = true;
        if (m_Map.InUse(file.m_StartCluster))
            continue;
        for (const CFatClusterRun& run : PlanRestore(file).runs)
            for (uint64_t c = run.first; c < std::min<uint64_t>(static_cast<uint64_t>(run.first) + run.count, known); ++c) {
                uint64_t bit = uint64_t(1) << (c % 64);
                size_t word = static_cast<size_t>(c / 64);
                if (once[word] & bit)
                    twice[word] |= bit;
                once[word] |= bit;
            }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        CDirEntry& file = *files[i];
        if (file.m_Size == 0) {
            file.m_Estimate = 100;
            continue;
        }
        std::string& note = file.m_EstimateNote;
        if (!file.IsInDeletedTree()) {
            CFatRestorePlan plan = PlanRestore(file);
            file.m_Estimate = plan.missing == 0 ? 100 : static_cast<int32_t>(100 * (plan.needed - plan.missing) / plan.needed);
            if (plan.missing != 0)
                note = "its chain ends " + std::to_string(plan.missing) + " clusters before its size";
            continue;
        }
        if (file.m_DataOffset == CDirEntry::kNoData) {
            file.m_Estimate = 0;
            note = "its first cluster lies outside the volume's data";
            continue;
        }
        if (m_Map.InUse(file.m_StartCluster)) {
            file.m_Estimate = 0;
            note = "its first cluster belongs to another file now";
            continue;
        }
        if (!compared[i]) {
            CFatRestorePlan plan = PlanRestore(file);
            file.m_Estimate = static_cast<int32_t>(std::min<uint64_t>(99, 100 * (plan.needed - plan.missing) / plan.needed));
            note = "it was not compared with every other found file";
            continue;
        }
        CFatRestorePlan plan = PlanRestore(file);
        uint64_t shared = 0;
        for (const CFatClusterRun& run : plan.runs)
            for (uint64_t c = run.first; c < std::min<uint64_t>(static_cast<uint64_t>(run.first) + run.count, known); ++c)
                shared += (twice[static_cast<size_t>(c / 64)] >> (c % 64)) & 1;
        const uint64_t own = plan.needed - plan.missing - shared;
        file.m_Estimate = static_cast<int32_t>(100 * own / plan.needed);
        std::string why;
        if (shared != 0)
            why = std::to_string(shared) + " of its " + std::to_string(plan.needed) +
                  " clusters are also claimed by other found files";
        if (plan.missing != 0)
            why += (why.empty() ? "" : "; ") + std::string("the volume ends ") + std::to_string(plan.missing) +
                   " clusters before the file does";
        if (file.m_StartCandidates > 1)
            file.m_Estimate = std::min<int32_t>(file.m_Estimate, static_cast<int32_t>(100 / file.m_StartCandidates));
        if (!why.empty())
            note = note.empty() ? why : note + "; " + why;
    }
}
