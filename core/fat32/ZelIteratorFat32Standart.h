// Walks the FAT32 engine's found tree in pre-order and hands out a fresh
// core entry for each directory and file.
#pragma once

#include "engine/ZelFolderPart.h"
#include "fat32/DirEntryInterface.h"
#include "jexfscore/ZelEntries.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CFat32Wrapper;

class CZelIteratorFat32Standart : public CZelEntityIterator {
public:
    explicit CZelIteratorFat32Standart(boost::shared_ptr<CFat32Wrapper> engine);

    void First() override;
    void Next() override;
    bool IsDone() override;
    boost::shared_ptr<CZelFSFileEntry> CurrentItem() override;

    // The part of a path that names a folder, with the "/" after it: the
    // short-name one and the one shown, shared by the entries below it.
    struct Folder {
        const CDirEntryInterface* node = nullptr;
        CZelFolderPart partA;
        CZelFolderPart partU;
    };

private:
    // The node named by the first depth steps of the path, null when a step
    // names no node.
    const CDirEntryInterface* Resolve(size_t depth) const;
    // Moves a path whose last index may be past its level's end up to the
    // next node that exists, or to the end of the walk.
    void Normalize();
    // The folder part of the path of chain's first node; chain runs from a
    // node up to its top folder.
    const Folder& FolderOf(const std::vector<const CDirEntryInterface*>& chain);
    template <class TEntry>
    void FillEntry(TEntry& entry, const CDirEntryInterface& node);

    boost::shared_ptr<CFat32Wrapper> m_pEngine;
    std::vector<uint32_t> m_Path;
    bool m_Done = false;
    // Folder parts from the root down to the last entry handed out's folder.
    std::vector<Folder> m_Folders;
    uint64_t m_FoldersGeneration = 0;
    std::string m_FoldersRoot;
};
