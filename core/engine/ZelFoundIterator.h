// The iterator every engine hands out: it walks the engine's listing in
// order and makes a fresh core entry for each directory and file, with
// folder paths shared by the entries below one folder.
#pragma once

#include "engine/ZelFolderPart.h"
#include "engine/ZelListedEntry.h"
#include "jexfscore/ZelEntries.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

class CZelEngine;

class CZelFoundIterator : public CZelEntityIterator {
public:
    explicit CZelFoundIterator(boost::shared_ptr<CZelEngine> engine);

    void First() override;
    void Next() override;
    bool IsDone() override;
    boost::shared_ptr<CZelFSFileEntry> CurrentItem() override;

private:
    struct Folder {
        CZelFolderPart partA;
        CZelFolderPart partU;
        bool deleted = false;
    };
    // The folder parts of the entries found in folder (an index of the
    // listing, -1 for the root).
    const Folder& FolderOf(int64_t folder);
    // The folder part for an engine's own folder path.
    std::shared_ptr<const std::string> FolderPath(const std::wstring* path);
    // Drops what an earlier scan or root left.
    void Refresh();

    boost::shared_ptr<CZelEngine> m_pEngine;
    size_t m_Index = 0;
    std::unordered_map<int64_t, Folder> m_Folders;
    std::unordered_map<const std::wstring*, std::shared_ptr<const std::string>> m_FolderPaths;
    uint64_t m_FoldersGeneration = 0;
    std::string m_FoldersRoot;
};
