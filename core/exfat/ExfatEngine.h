// The exFAT engine: the volume reader and the directory walk with its found
// list, behind the engine base that the file-system object drives.
#pragma once

#include "engine/ZelEngine.h"
#include "exfat/ExfatScanner.h"
#include "fat32/BlockReader.h"

#include <memory>
#include <string>

class CExfatEngine : public CZelEngine {
public:
    CExfatEngine() = default;
    ~CExfatEngine() override;

    size_t GetEntryCount();
    // The found entry at index, or null past the end.
    const CExfatFoundEntry* GetEntry(size_t index);

protected:
    bool IsOpenLocked() const override;
    // The device is opened by the scan.
    int32_t OpenLocked(const std::string& volumePath, int32_t blockSize, std::string& error) override;
    void ReleaseLocked() override;
    int32_t ScanLocked(const std::string& volumePath, uint8_t mode, CZelEngineCheckFile* filter,
                       std::string& error) override;
    // Writes the valid data from the clusters the file's plan names, then
    // zeros up to its data length; partial when the plan is a guess, lacks
    // clusters or holds some that are not the file's own any more.
    int32_t RestoreLocked(CZelRestoreSink& sink, const CZelEngineRecord& record,
                          const CZelProgressCallbackPtr& progress, CZelRestoreReport& report) override;
    boost::shared_ptr<CZelEntityIterator> CreateIterator() override;

private:
    std::unique_ptr<CBlockReader> m_pReader;
    std::unique_ptr<CExfatScanner> m_pScanner;
};
