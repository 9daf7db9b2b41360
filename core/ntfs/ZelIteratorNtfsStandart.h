// Walks the NTFS engine's flat list of found records and hands out a fresh
// core entry for each.
#pragma once

#include "jexfscore/ZelEntries.h"
#include "ntfs/NtfsEntryInterface.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>

class CNtfsUndeleteWrapper;

class CZelIteratorNtfsStandart : public CZelEntityIterator {
public:
    explicit CZelIteratorNtfsStandart(boost::shared_ptr<CNtfsUndeleteWrapper> engine);

    void First() override;
    void Next() override;
    bool IsDone() override;
    boost::shared_ptr<CZelFSFileEntry> CurrentItem() override;

private:
    // The part of the path before the record's own name, "root/folders",
    // shared by every entry of one folder.
    std::shared_ptr<const std::string> FolderPart(const CNtfsEntryInterface& record);

    boost::shared_ptr<CNtfsUndeleteWrapper> m_pEngine;
    uint32_t m_Index = 0;
    // Folder parts by the engine's folder path they were made from, for one
    // scan of the engine (its folder paths live as long as its records).
    std::unordered_map<const wchar_t*, std::shared_ptr<const std::string>> m_Folders;
    uint64_t m_FoldersGeneration = 0;
};
