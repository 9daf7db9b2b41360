// The FAT engine (FAT12, FAT16, FAT32): the volume reader and the directory
// scanner with its found tree, behind the engine base that the file-system
// object drives.
#pragma once

#include "engine/ZelScannerEngine.h"
#include "fat32/MUNdelete.h"

#include <memory>
#include <string>

class CFat32Wrapper : public CZelScannerEngine<CMUNdelete> {
public:
    CFat32Wrapper() = default;
    ~CFat32Wrapper() override;

    uint32_t GetEntryCount();
    // The top-level found entry at index, or null past the end.
    const CDirEntryInterface* GetEntry(uint32_t index);
    size_t OwnListedCount() override;
    // Names as the volume holds them (8.3) and as shown (the long name, or
    // the 8.3 name converted); deleted where the entry is marked.
    bool OwnListed(size_t index, CZelListedEntry& entry) override;
    bool ListsNarrowNames() const override { return true; }


protected:
    // Copies the entry's size in bytes from the clusters its plan names;
    // partial when the estimate is below 100 or bytes could not be read.
    int32_t RestoreLocked(CZelRestoreSink& sink, const CZelEngineRecord& record,
                          const CZelProgressCallbackPtr& progress, CZelRestoreReport& report) override;
    uint64_t DataOffsetLocked(const CZelEngineRecord& record) override;
    boost::shared_ptr<CZelEntityIterator> CreateIterator() override;
};
