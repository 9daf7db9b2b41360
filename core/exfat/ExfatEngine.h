// The exFAT engine: the volume reader and the directory walk with its found
// list, behind the engine base that the file-system object drives.
#pragma once

#include "engine/ZelScannerEngine.h"
#include "exfat/ExfatScanner.h"

#include <memory>
#include <string>

class CExfatEngine : public CZelScannerEngine<CExfatScanner> {
public:
    CExfatEngine() = default;
    ~CExfatEngine() override;

    size_t GetEntryCount();
    // The found entry at index, or null past the end.
    const CExfatFoundEntry* GetEntry(size_t index);
    size_t OwnListedCount() override { return GetEntryCount(); }
    bool OwnListed(size_t index, CZelListedEntry& entry) override;

protected:
    // Writes the valid data from the clusters the file's plan names, then
    // zeros up to its data length; partial when the plan is a guess, lacks
    // clusters or holds some that are not the file's own any more.
    int32_t RestoreLocked(CZelRestoreSink& sink, const CZelEngineRecord& record,
                          const CZelProgressCallbackPtr& progress, CZelRestoreReport& report) override;
    uint64_t DataOffsetLocked(const CZelEngineRecord& record) override;
};
