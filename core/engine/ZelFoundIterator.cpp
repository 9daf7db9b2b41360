#include "engine/ZelFoundIterator.h"

#include "ZelFSEntryImpl.h"
#include "engine/ZelEngine.h"
#include "jexcommon/ZelText.h"

#include <boost/make_shared.hpp>

#include <vector>

CZelFoundIterator::CZelFoundIterator(boost::shared_ptr<CZelEngine> engine) : m_pEngine(std::move(engine)) {}

void CZelFoundIterator::First()
{
    m_Index = 0;
    m_Folders.clear();
    m_FolderPaths.clear();
}

void CZelFoundIterator::Next()
{
    if (!IsDone())
        ++m_Index;
}

bool CZelFoundIterator::IsDone()
{
    return !m_pEngine || m_Index >= m_pEngine->ListedCount();
}

void CZelFoundIterator::Refresh()
{
    // Another scan's entries may lie where this one's did.
    const std::string rootName = m_pEngine->GetRootName();
    const uint64_t generation = m_pEngine->GetGeneration();
    if (m_FoldersGeneration == generation && m_FoldersRoot == rootName && !m_Folders.empty())
        return;
    m_Folders.clear();
    m_FolderPaths.clear();
    m_FoldersGeneration = generation;
    m_FoldersRoot = rootName;
    // The root name as text (bytes that are not UTF-8 read as
    // Windows-1252); the narrow path of an engine that keeps the volume's
    // own bytes keeps it as it is.
    Folder root;
    const std::string rootText = ZelWideToNarrow(ZelNarrowToWide(rootName));
    root.partA = ZelRootFolderPart(m_pEngine->ListsNarrowNames() ? rootName : rootText);
    root.partU = ZelRootFolderPart(rootText);
    m_Folders.emplace(-1, std::move(root));
}

const CZelFoundIterator::Folder& CZelFoundIterator::FolderOf(int64_t folder)
{
    auto known = m_Folders.find(folder);
    if (known != m_Folders.end())
        return known->second;
    // The folders up to one whose part is known, or up to the root; a
    // folder always lies before what it holds in the listing, so this ends.
    std::vector<std::pair<int64_t, CZelListedEntry>> chain;
    int64_t at = folder;
    while (at >= 0 && m_Folders.find(at) == m_Folders.end()) {
        CZelListedEntry entry;
        if (!m_pEngine->Listed(static_cast<size_t>(at), entry))
            entry.parent = -1;
        const int64_t parent = entry.parent < at ? entry.parent : -1;
        chain.emplace_back(at, std::move(entry));
        at = parent;
    }
    for (auto step = chain.rbegin(); step != chain.rend(); ++step) {
        const CZelListedEntry& entry = step->second;
        const Folder& parent = m_Folders.at(entry.parent < step->first && m_Folders.count(entry.parent) != 0 ? entry.parent : -1);
        Folder next;
        next.deleted = parent.deleted || entry.deleted;
        next.partA = ZelFolderPartBelow(parent.partA, entry.leafA);
        next.partU = ZelFolderPartBelow(parent.partU, entry.leafU.empty() ? entry.leafA : entry.leafU);
        m_Folders[step->first] = std::move(next);
    }
    return m_Folders.at(folder);
}

std::shared_ptr<const std::string> CZelFoundIterator::FolderPath(const std::wstring* path)
{
    auto& folder = m_FolderPaths[path];
    if (!folder) {
        std::string text;
        if (!m_FoldersRoot.empty())
            text = ZelWideToNarrow(ZelNarrowToWide(m_FoldersRoot)) + "/";
        if (path != nullptr)
            text += ZelWideToNarrow(*path);
        folder = std::make_shared<const std::string>(std::move(text));
    }
    return folder;
}

boost::shared_ptr<CZelFSFileEntry> CZelFoundIterator::CurrentItem()
{
    if (IsDone())
        return boost::shared_ptr<CZelFSFileEntry>();
    CZelListedEntry listed;
    if (!m_pEngine->Listed(m_Index, listed))
        return boost::shared_ptr<CZelFSFileEntry>();
    Refresh();
    CZelSharedPath pathA, pathU;
    bool deleted = listed.deleted;
    if (listed.ownFolderPath) {
        // A path the engine made: a "/" goes between it and the name unless
        // the name brings its own.
        std::shared_ptr<const std::string> folder = FolderPath(listed.folderPath);
        const bool slash = folder->size() > 1 && folder->back() != '/' && (listed.leafA.empty() || listed.leafA.front() != '/');
        pathA = CZelSharedPath{std::move(folder), slash ? "/" + listed.leafA : listed.leafA};
    } else {
        const Folder& folder = FolderOf(listed.parent < static_cast<int64_t>(m_Index) ? listed.parent : -1);
        deleted = deleted || folder.deleted;
        pathA = CZelSharedPath{folder.partA.path, listed.leafA};
        if (!listed.leafU.empty())
            pathU = CZelSharedPath{folder.partU.path, listed.leafU};
    }
    auto fill = [&](auto& entry) {
        entry.SetNames(std::move(listed.nameA), std::move(listed.nameU));
        entry.SetPaths(std::move(pathA), std::move(pathU));
        entry.SetAttributes(listed.attributes);
        entry.SetDeleted(deleted);
    };
    if (listed.directory) {
        auto directory = boost::make_shared<CZelFSDirectoryImpl<CZelFSDirectory>>();
        fill(*directory);
        return directory;
    }
    auto file = boost::make_shared<CZelFSFileImpl<CZelFSFile>>(listed.record, m_pEngine, m_pEngine->GetGeneration());
    fill(*file);
    file->SetSize(listed.size);
    return file;
}
