#include "exfat/ZelIteratorExfat.h"

#include "ZelFSEntryImpl.h"
#include "exfat/ExfatEngine.h"
#include "jexcommon/ZelText.h"

#include <boost/make_shared.hpp>

#include <vector>

CZelIteratorExfat::CZelIteratorExfat(boost::shared_ptr<CExfatEngine> engine) : m_pEngine(std::move(engine)) {}

void CZelIteratorExfat::First()
{
    m_Index = 0;
    m_Folders.clear();
}

void CZelIteratorExfat::Next()
{
    if (!IsDone())
        ++m_Index;
}

bool CZelIteratorExfat::IsDone()
{
    return !m_pEngine || m_Index >= m_pEngine->GetEntryCount();
}

const CZelIteratorExfat::Folder& CZelIteratorExfat::FolderOf(int32_t folder)
{
    const std::string rootName = m_pEngine->GetRootName();
    if (m_FoldersGeneration != m_pEngine->GetGeneration() || m_FoldersRoot != rootName) {
        m_Folders.clear();
        m_FoldersGeneration = m_pEngine->GetGeneration();
        m_FoldersRoot = rootName;
    }
    auto known = m_Folders.find(folder);
    if (known != m_Folders.end())
        return known->second;
    // The folders up to one whose part is known, or up to the root; a
    // folder always lies before what it holds in the list, so this ends.
    std::vector<int32_t> chain;
    int32_t at = folder;
    while (at >= 0 && m_Folders.find(at) == m_Folders.end()) {
        chain.push_back(at);
        const CExfatFoundEntry* entry = m_pEngine->GetEntry(static_cast<size_t>(at));
        const int32_t parent = entry == nullptr ? -1 : entry->parent;
        at = parent < at ? parent : -1;
    }
    if (at < 0 && m_Folders.find(-1) == m_Folders.end()) {
        Folder root;
        root.part = ZelRootFolderPart(ZelWideToNarrow(ZelNarrowToWide(rootName)));
        m_Folders.emplace(-1, std::move(root));
    }
    for (auto step = chain.rbegin(); step != chain.rend(); ++step) {
        const CExfatFoundEntry* entry = m_pEngine->GetEntry(static_cast<size_t>(*step));
        const Folder& parent = m_Folders[entry != nullptr && entry->parent < *step ? entry->parent : -1];
        Folder next;
        const std::string name = entry != nullptr ? entry->name : std::string();
        next.deleted = parent.deleted || (entry != nullptr && entry->deleted);
        next.part = ZelFolderPartBelow(parent.part, name);
        m_Folders[*step] = std::move(next);
    }
    return m_Folders[folder];
}

boost::shared_ptr<CZelFSFileEntry> CZelIteratorExfat::CurrentItem()
{
    if (IsDone())
        return boost::shared_ptr<CZelFSFileEntry>();
    const CExfatFoundEntry* record = m_pEngine->GetEntry(m_Index);
    if (record == nullptr)
        return boost::shared_ptr<CZelFSFileEntry>();
    const Folder& folder = FolderOf(record->parent);
    auto fill = [&](auto& entry) {
        entry.SetNames(record->name, std::string());
        entry.SetPaths(CZelSharedPath{folder.part.path, record->name}, CZelSharedPath());
        entry.SetAttributes(record->attributes);
        entry.SetDeleted(record->deleted || record->inDeletedTree || folder.deleted);
    };
    if (record->directory) {
        auto directory = boost::make_shared<CZelFSDirectoryImpl<CZelFSDirectory>>();
        fill(*directory);
        return directory;
    }
    auto file = boost::make_shared<CZelFSFileImpl<CZelFSFile>>(record, m_pEngine, m_pEngine->GetGeneration());
    fill(*file);
    file->SetSize(record->dataLength);
    return file;
}
