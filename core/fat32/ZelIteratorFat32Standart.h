// Walks the FAT32 engine's found tree in pre-order and hands out a fresh
// core entry for each directory and file.
#pragma once

#include "fat32/DirEntryInterface.h"
#include "jexfscore/ZelEntries.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <vector>

class CFat32Wrapper;

class CZelIteratorFat32Standart : public CZelEntityIterator {
public:
    explicit CZelIteratorFat32Standart(boost::shared_ptr<CFat32Wrapper> engine);

    void First() override;
    void Next() override;
    bool IsDone() override;
    boost::shared_ptr<CZelFSFileEntry> CurrentItem() override;

private:
    // The node named by the first depth steps of the path, null when a step
    // names no node.
    const CDirEntryInterface* Resolve(size_t depth) const;
    // Moves a path whose last index may be past its level's end up to the
    // next node that exists, or to the end of the walk.
    void Normalize();

    boost::shared_ptr<CFat32Wrapper> m_pEngine;
    std::vector<uint32_t> m_Path;
    bool m_Done = false;
};
