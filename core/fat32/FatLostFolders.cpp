// The free clusters that hold directory entries no walk read: folders whose
// entry is gone, and the later clusters of deleted folders, whose chains
// were cleared.
#include "carve/Carver.h"
#include "fat32/MUNdelete.h"

#include "engine/ZelFreeClusters.h"
#include "fat32/Fat32Layout.h"
#include "jexcommon/ZelText.h"

#include <algorithm>

using namespace fat32layout;

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

bool CMUNdelete::OwnerOf(const uint8_t* bytes, size_t size, uint32_t& owner)
{
    for (size_t at = 0; at + kEntrySize <= size; at += kEntrySize) {
        CFatDirEntryFields entry;
        ZelDecodeFatDirEntry(bytes + at, kEntrySize, entry);
        if (entry.IsEndOfDirectory())
            break;
        const uint32_t first = FirstClusterOf(entry);
        if (entry.IsLongNameEntry() || entry.Type() != FatEntryDirectory || entry.baseName[0] == '.' || first < 2 ||
            IsAllocated(first))
            continue;
        // The subfolder's ".." names the folder this cluster belongs to; a
        // free cluster is never the root's (its chain is never cleared), so
        // a ".." naming the root is another folder's that took the cluster
        // since.
        CFatClusterLook sub = LookAt(first);
        if (sub.look == FatClusterLook::FolderStart && sub.parentCluster != 0 &&
            sub.parentCluster != m_Boot.rootCluster && m_Folders.count(sub.parentCluster) != 0) {
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
    CZelFreeClusterWalk walk;
    walk.first = 2;
    walk.last = m_Boot.lastCluster;
    walk.clusterSize = m_Boot.clusterSize;
    walk.volumeEnd = m_VolumeEnd;
    walk.wanted = [this](uint64_t c) { return WorthReading(static_cast<uint32_t>(c)); };
    walk.nextWanted = [this](uint64_t c) -> uint64_t {
        const uint64_t none = uint64_t(m_Boot.lastCluster) + 1;
        if (m_FromFolders) {
            auto at = std::lower_bound(m_EntryClusters.begin(), m_EntryClusters.end(), c);
            return at == m_EntryClusters.end() ? none : *at;
        }
        const uint32_t free = c <= m_Boot.lastCluster ? m_Map.NextFree(static_cast<uint32_t>(c)) : 0;
        return free != 0 ? uint64_t(free) : none;
    };
    walk.offsetOf = [this](uint64_t c) {
        uint64_t offset = 0;
        return m_Boot.ClusterOffset(static_cast<uint32_t>(c), offset) ? offset : UINT64_MAX;
    };
    walk.take = [this](uint64_t c, const uint8_t* bytes, size_t size) {
        const uint32_t cluster = static_cast<uint32_t>(c);
        // A folder read from an earlier cluster may have taken this one.
        if (m_Vanished || m_ReadClusters.count(cluster) != 0)
            return;
        CFatClusterLook look = ZelLookAtDirectoryCluster(bytes, size - size % kEntrySize, cluster, m_Limits);
        if (look.look != FatClusterLook::NotDirectory)
            ReadLostCluster(cluster, look, bytes, size - size % kEntrySize);
    };
    walk.unreadable = [this](uint64_t offset, size_t size, const CZelRead& read) {
        ReadFailed(read, offset, size, "A free cluster");
    };
    const double clusters = std::max(1.0, static_cast<double>(m_Boot.lastCluster) - 1.0);
    walk.progress = [&](uint64_t walked) { Publish(kLostStage, kJudgeStage, static_cast<double>(walked) / clusters); };
    walk.stop = [this] { return Stopped(); };
    // With a rebuilt layout the pass that found it fed the signature search.
    CZelCarver* carver = m_Sink.carver && !m_FromFolders ? m_Sink.carver() : nullptr;
    if (carver != nullptr) {
        uint64_t heap = 0;
        m_Boot.ClusterOffset(2, heap);
        carver->SetGrid(m_Boot.clusterSize, heap);
        walk.carver = carver;
    }
    CZelRead gone;
    if (!ZelWalkFreeClusters(m_Reader, walk, gone))
        ReadFailed(gone, 0, 0, "Free clusters");
    // A folder of orphans that kept nothing is not listed.
    if (m_pOrphans != nullptr && m_pOrphans->m_Children.empty()) {
        m_Found.erase(std::remove_if(m_Found.begin(), m_Found.end(),
                                     [this](const std::unique_ptr<CDirEntry>& n) { return n.get() == m_pOrphans; }),
                      m_Found.end());
        m_pOrphans = nullptr;
    }
}

void CMUNdelete::ReadLostCluster(uint32_t cluster, const CFatClusterLook& look, const uint8_t* bytes, size_t size)
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
    uint32_t owner = 0;
    if (OwnerOf(bytes, size, owner)) {
        FolderPlace place = m_Folders[owner];
        if (place.depth < kMaxDepth)
            ReadDirectory(place.node, cluster, place.depth, place.node != nullptr ? place.node->m_Children : m_Found,
                          false);
        return;
    }
    if (CDirEntry* folder = ContinuationOf(cluster)) {
        // The entries of a group its last cluster began come first. What
        // the folder gains here is marked: its place is a guess.
        const OpenEnd carried = m_OpenEnds[folder];
        const size_t before = folder->m_Children.size();
        ReadDirectory(folder, cluster, m_Folders[folder->m_FirstCluster].depth, folder->m_Children, false, &carried);
        for (size_t i = before; i < folder->m_Children.size(); ++i)
            folder->m_Children[i]->m_PlaceGuessed = true;
        return;
    }
    CDirEntry& orphans = Orphans();
    ReadDirectory(&orphans, cluster, 1, orphans.m_Children, false);
}

void CMUNdelete::NoteOpenEnd(const DirectoryRun& run)
{
    // Only a deleted folder's run that read its cluster whole and found no
    // cluster to follow; the root, the orphans and live chains end where
    // they end.
    if (run.proven || run.ended || run.cluster < 2 || run.clusterRead < run.clusterSize || run.folder == nullptr ||
        run.folder == m_pOrphans)
        return;
    OpenEnd& end = m_OpenEnds[run.folder];
    end.cluster = run.cluster;
    end.bytes.assign(run.bytes.begin() + static_cast<std::ptrdiff_t>(run.next * kEntrySize), run.bytes.end());
    end.offsets.assign(run.offsets.begin() + static_cast<std::ptrdiff_t>(run.next), run.offsets.end());
}

CDirEntry* CMUNdelete::ContinuationOf(uint32_t cluster)
{
    // True when node is folder or lies below it.
    auto within = [](const CDirEntry* node, const CDirEntry* folder) {
        for (uint32_t up = 0; node != nullptr && up <= kMaxDepth; node = node->m_pParent, ++up)
            if (node == folder)
                return true;
        return false;
    };
    // Back from this cluster over the clusters of entries before it: the
    // first that is a deleted folder's open end names the candidate. The
    // clusters passed on the way must be its subfolders' (made while it
    // grew), which ended there: a few at most are looked at.
    constexpr int kLookBack = 64;
    auto at = m_DirectoryClusters.lower_bound(cluster);
    std::vector<const CDirEntry*> passed;
    const CDirEntry* folder = nullptr;
    uint32_t last = 0;
    for (int step = 0; step < kLookBack && at != m_DirectoryClusters.begin(); ++step) {
        --at;
        auto end = m_OpenEnds.find(at->second);
        if (end != m_OpenEnds.end() && end->second.cluster == at->first) {
            folder = at->second;
            last = at->first;
            break;
        }
        passed.push_back(at->second);
    }
    if (folder == nullptr)
        return nullptr;
    auto place = m_Folders.find(folder->m_FirstCluster);
    if (place == m_Folders.end() || place->second.node != folder || place->second.depth >= kMaxDepth)
        return nullptr;
    for (const CDirEntry* other : passed)
        if (other == folder || !within(other, folder))
            return nullptr;
    // The deleted files that start between are the folder's own or its
    // subfolders': the data it was given before it grew (live files may
    // lie there too). A file of another deleted folder there means folders
    // grew in turns, and where a cluster lies proves nothing.
    bool own = false;
    for (auto file = m_FileStarts.upper_bound(last); file != m_FileStarts.end() && file->first < cluster; ++file) {
        if (!within(file->second, folder))
            return nullptr;
        own = true;
    }
    return own ? place->second.node : nullptr;
}
