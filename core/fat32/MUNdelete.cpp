#include "fat32/MUNdelete.h"

#include "fat32/Fat32Layout.h"
#include "fat32/FatDirectoryRead.h"
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
    m_Listing.clear();
    m_ReadDirectories.clear();
    m_Folders.clear();
    m_DirectoryClusters.clear();
    m_OpenEnds.clear();
    m_FileStarts.clear();
    m_pOrphans = nullptr;
    m_WalkClusters = 0;
    m_Progress.Restart();
    m_Boot = CFatBootSector();
    m_FromFolders = false;
    m_Rebuilt = false;
    m_EntryClusters.clear();
    m_Mode = mode;
    m_pFilter = filter;
    m_Vanished = false;
    m_VanishedError = 0;

    uint8_t sector[kBootSectorSize];
    CZelRead boot = ZelReadRetrying(m_Reader, 0, sector, sizeof sector);
    if (boot.end == ZelReadEnd::Failed || boot.end == ZelReadEnd::Vanished) {
        error = volumePath + (boot.end == ZelReadEnd::Vanished ? ": the device is gone (" : ": the boot sector cannot be read (") +
                ZelErrorText(boot.error) + ")";
        return -1;
    }
    std::string problem;
    switch (ZelDecodeFatBootSector(sector, boot.bytes, m_Boot, problem)) {
    case FatBootCheck::Fat:
        break;
    case FatBootCheck::TooShort:
        error = volumePath + ": too small to hold a FAT boot sector";
        return -1;
    case FatBootCheck::Invalid:
        // A deep search looks for the layout elsewhere.
        if (!Deep()) {
            error = volumePath + ": no FAT boot sector (" + problem + ")";
            return -1;
        }
        switch (RebuildLayout(volumePath, problem, error)) {
        case Rebuild::Failed:
            return -1;
        case Rebuild::Raw:
            // Nothing of a file system: what there is was found by its
            // signature.
            MakeListing();
            Publish(kJudgeStage, 1.0, 1.0);
            return 0;
        case Rebuild::Layout:
            break;
        }
        m_Rebuilt = true;
        break;
    }

    // The walk stays inside both the volume the boot sector describes and
    // the bytes really there.
    uint64_t deviceSize = m_Reader.Size();
    m_VolumeEnd = m_Boot.volumeSize;
    if (deviceSize != 0 && (m_VolumeEnd == 0 || deviceSize < m_VolumeEnd))
        m_VolumeEnd = deviceSize;
    m_pTable = std::make_unique<CFatTableReader>(
        m_Reader, m_Boot, [this](const CZelRead& read, uint64_t offset, size_t count) {
            ReadFailed(read, offset, count, "The allocation table");
        });
    m_AfterHole.clear();
    m_ReadClusters.clear();
    m_Claimed.clear();
    m_Limits.lastCluster = m_Boot.lastCluster;
    m_Limits.dataBytes = m_Boot.lastCluster >= 2 ? static_cast<uint64_t>(m_Boot.lastCluster - 1) * m_Boot.clusterSize : 0;
    m_Limits.clusterHighWord = m_Boot.variant == 32;

    // A layout rebuilt from folders has no table: every cluster is free.
    bool loaded = true;
    if (m_FromFolders)
        m_Map.Reset(m_Boot.lastCluster);
    else
        loaded = m_Map.Load(
            m_Reader, m_Boot, [this](double done) { Publish(kTableStage, kWalkStage, done); },
            [this](const CZelRead& read, uint64_t offset, size_t count) {
                ReadFailed(read, offset, count, "The allocation table");
            });
    // On a rebuilt layout the root is read only where entries lie, and
    // not where a folder starts: the root has no "." entry. Only then is
    // its cluster the root's for the folders that name it.
    const bool rootThere = !m_FromFolders || (m_Boot.HasFixedRoot() ? m_Boot.rootBytes != 0
                                                                     : LookAt(m_Boot.rootCluster).look == FatClusterLook::FolderPart);
    if (loaded) {
        // The root directory: its cluster on FAT32, the fixed region (as
        // cluster 0, which ".." names the root by) on FAT12 and FAT16.
        if (rootThere) {
            m_ReadDirectories.insert(m_Boot.rootCluster);
            m_Folders[m_Boot.rootCluster] = FolderPlace();
        }
        m_Folders[0] = FolderPlace();
        if (rootThere)
            ReadDirectory(nullptr, m_Boot.rootCluster, 0, m_Found, true);
        Publish(kWalkStage, kLostStage, 1.0);
    }
    if (loaded && !m_Vanished && Deep() && !Stopped())
        FindLostFolders();
    if (!loaded || m_Vanished) {
        MakeListing();
        error = volumePath + ": the device is gone (" + ZelErrorText(m_VanishedError) + "); the search ended there";
        return -1;
    }
    Publish(kLostStage, kJudgeStage, 1.0);
    JudgeFiles();
    MakeListing();
    Publish(kJudgeStage, 1.0, 1.0);
    return 0;
}

void CMUNdelete::ReadDirectory(const CDirEntry* parent, uint32_t firstCluster, uint32_t depth,
                               std::vector<std::unique_ptr<CDirEntry>>& into, bool proven, const OpenEnd* carried)
{
    DirectoryRun run;
    run.depth = depth;
    // Where the boot sector was gone, no chain is known for certain.
    run.proven = proven && !m_Rebuilt;
    run.folder = parent;
    if (Stopped() || !EnterCluster(run, firstCluster))
        return;
    if (carried != nullptr) {
        run.bytes = carried->bytes;
        run.offsets = carried->offsets;
    }
    if (!ReadPiece(run))
        return;
    while (!m_Vanished) {
        size_t left = run.offsets.size() - run.next;
        CFatEntryGroup group;
        FatGroupParse parsed = ZelParseFatEntryGroup(run.bytes.data() + run.next * kEntrySize, left * kEntrySize, group);
        if (parsed == FatGroupParse::NeedMore) {
            if (!ReadMore(run)) {
                NoteOpenEnd(run);
                return;
            }
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
        node->m_PlaceGuessed = node->m_PlaceGuessed || run.placeGuessed;
        run.next += group.entryCount;
        if (node->m_Type == FatEntryFile && node->m_FirstCluster >= 2 && (node->IsInDeletedTree() || m_Rebuilt))
            m_FileStarts.emplace(node->m_FirstCluster, parent);
        Descend(*node, run.depth);
        if (Retain(*node))
            into.push_back(std::move(node));
    }
}

bool CMUNdelete::EnterCluster(DirectoryRun& run, uint32_t cluster)
{
    uint64_t start = 0, size = m_Boot.clusterSize;
    // The fixed root region of FAT12 and FAT16 stands as cluster 0.
    const bool rootRegion = cluster == 0 && m_Boot.HasFixedRoot();
    if (rootRegion) {
        start = m_Boot.rootOffset;
        size = m_Boot.rootBytes;
    }
    // Every cluster is read as directory entries at most once in a walk.
    if (run.entriesRead >= kMaxEntriesPerDirectory || cluster > m_Boot.lastCluster ||
        (!rootRegion && !m_Boot.ClusterOffset(cluster, start)) || !m_ReadClusters.insert(cluster).second)
        return false;
    run.cluster = cluster;
    m_DirectoryClusters[cluster] = run.folder;
    run.clusterStart = start;
    run.clusterSize = size;
    run.clusterRead = 0;
    // The walk's share grows with every cluster it reads, never reaching
    // its end before the walk does.
    ++m_WalkClusters;
    Publish(kWalkStage, kLostStage, static_cast<double>(m_WalkClusters) / static_cast<double>(m_WalkClusters + 256));
    return true;
}

bool CMUNdelete::ReadPiece(DirectoryRun& run)
{
    if (run.ended || run.clusterRead >= run.clusterSize)
        return false;
    // The entries taken by groups are dropped; what a group has begun stays.
    run.bytes.erase(run.bytes.begin(), run.bytes.begin() + static_cast<std::ptrdiff_t>(run.next * kEntrySize));
    run.offsets.erase(run.offsets.begin(), run.offsets.begin() + static_cast<std::ptrdiff_t>(run.next));
    run.next = 0;

    // The directory stays inside the volume and within its entry bound.
    const uint64_t offset = run.clusterStart + run.clusterRead;
    const uint64_t piece = std::min(kDirectoryPiece, run.clusterSize - run.clusterRead);
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
    if (run.ended || (run.clusterRead >= run.clusterSize && Stopped()))
        return false;
    if (run.clusterRead >= run.clusterSize) {
        // The fixed root region has no cluster after it.
        if (run.cluster == 0)
            return false;
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
        // The root's chain is never cleared: a later cluster of it that no
        // chain names is joined by where it lies, and what it lists is
        // marked so.
        run.placeGuessed = run.placeGuessed || (guessed && run.folder == nullptr);
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
    CFatDirectoryRead read = ZelReadFatDirectory(m_Reader, offset, destination, count, m_Boot.bytesPerSector);
    ended = read.ended;
    // The sectors of one read that cannot be read are one stretch.
    if (read.unreadable != 0)
        ReadFailed(read.failed, read.firstFailed, read.unreadable, "A directory");
    if (read.vanished)
        ReadFailed(read.failed, offset + read.bytes, count - read.bytes, "A directory");
    m_AfterHole.insert(read.afterHoles.begin(), read.afterHoles.end());
    return read.bytes;
}

uint32_t CMUNdelete::NextDirectoryCluster(uint32_t cluster, bool& guessed)
{
    guessed = false;
    uint32_t value = 0;
    const CFatTableReader::Lookup lookup = m_pTable->Read(cluster, value);
    // Where the table cannot be read, the directory's next cluster is not
    // known: it ends here.
    if (lookup == CFatTableReader::Lookup::Unreadable)
        return 0;
    // A free entry (or one past the table): the chain of a deleted
    // directory was cleared, so its clusters are taken to follow each other,
    // as long as the next one is free too.
    if (lookup == CFatTableReader::Lookup::Beyond || value == 0) {
        guessed = true;
        return cluster < m_Boot.lastCluster && !IsAllocated(cluster + 1) ? cluster + 1 : 0;
    }
    if (value >= 2 && value <= m_Boot.lastCluster)
        return value;
    // End of chain, bad or reserved cluster.
    return 0;
}

uint32_t CMUNdelete::FirstClusterOf(const CFatDirEntryFields& entry) const
{
    return m_Boot.variant == 32 ? entry.firstCluster : entry.firstCluster & 0xFFFF;
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
        const uint32_t first = FirstClusterOf(entry);
        uint64_t dataOffset = 0;
        bool inside = first <= m_Boot.lastCluster && m_Boot.ClusterOffset(first, dataOffset);
        node.m_DataOffset = inside ? dataOffset : CDirEntry::kNoData;
        node.m_FirstCluster = first;
        node.m_StartCluster = first;
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

void CMUNdelete::MakeListing()
{
    m_Listing.clear();
    // Depth first, each folder's entries in the order they were found.
    std::vector<Listed> pending;
    for (auto node = m_Found.rbegin(); node != m_Found.rend(); ++node)
        pending.push_back({node->get(), -1});
    while (!pending.empty()) {
        const Listed next = pending.back();
        pending.pop_back();
        if (next.node->m_Type != FatEntryFile && next.node->m_Type != FatEntryDirectory)
            continue;
        const int64_t index = static_cast<int64_t>(m_Listing.size());
        m_Listing.push_back(next);
        for (auto child = next.node->m_Children.rbegin(); child != next.node->m_Children.rend(); ++child)
            pending.push_back({child->get(), index});
    }
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
    if (m_Mode != 0 && !m_Rebuilt && !directory && !entry.IsInDeletedTree())
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
    CZelRead read = ZelReadRetrying(m_Reader, offset, bytes.data(), bytes.size());
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

