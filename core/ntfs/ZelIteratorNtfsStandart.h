// Walks the NTFS engine's flat list of found records and hands out a fresh
// core entry for each.
#pragma once

#include "jexfscore/ZelEntries.h"
#include "ntfs/NtfsEntryInterface.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>

class CNtfsUndeleteWrapper;

class CZelIteratorNtfsStandart : public CZelEntityIterator {
public:
    explicit CZelIteratorNtfsStandart(boost::shared_ptr<CNtfsUndeleteWrapper> engine);

    void First() override;
    void Next() override;
    bool IsDone() override;
    boost::shared_ptr<CZelFSFileEntry> CurrentItem() override;

private:
    boost::shared_ptr<CNtfsUndeleteWrapper> m_pEngine;
    uint32_t m_Index = 0;
};
