// The free clusters that hold directory entries no walk read: folders whose
// entry is gone, and the later clusters of deleted folders, whose chains
// were cleared.
#include "fat32/MUNdelete.h"

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

bool CMUNdelete::OwnerOf(const std::vector<uint8_t>& bytes, uint32_t& owner)
{
    for (size_t at = 0; at + kEntrySize <= bytes.size(); at += kEntrySize) {
        CFatDirEntryFields entry;
        ZelDecodeFatDirEntry(bytes.data() + at, kEntrySize, entry);
        if (entry.IsEndOfDirectory())
            break;
        const uint32_t first = FirstClusterOf(entry);
        if (entry.IsLongNameEntry() || entry.Type() != FatEntryDirectory || entry.baseName[0] == '.' || first < 2 ||
            IsAllocated(first))
            continue;
        // The subfolder's ".." names the folder this cluster belongs to.
        CFatClusterLook sub = LookAt(first);
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
        CZelRead read = ZelReadRetrying(m_Reader, offset, stretch.data(), wanted);
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
        Publish(kLostStage, kJudgeStage, static_cast<double>(looked) / static_cast<double>(freeClusters));
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
