// Walks the exFAT engine's found list and hands out a fresh core entry for
// each directory and file.
#pragma once

#include "engine/ZelFolderPart.h"
#include "jexfscore/ZelEntries.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

class CExfatEngine;
class CExfatFoundEntry;

class CZelIteratorExfat : public CZelEntityIterator {
public:
    explicit CZelIteratorExfat(boost::shared_ptr<CExfatEngine> engine);

    void First() override;
    void Next() override;
    bool IsDone() override;
    boost::shared_ptr<CZelFSFileEntry> CurrentItem() override;

private:
    struct Folder {
        CZelFolderPart part;
        bool deleted = false;
    };
    // The folder part of the path of the entries found in folder (an index
    // into the found list, -1 for the root), with "/" after it.
    const Folder& FolderOf(int32_t folder);

    boost::shared_ptr<CExfatEngine> m_pEngine;
    size_t m_Index = 0;
    // Folder parts by folder, for one scan of the engine.
    std::unordered_map<int32_t, Folder> m_Folders;
    uint64_t m_FoldersGeneration = 0;
    std::string m_FoldersRoot;
};
