// The FAT32 engine: the volume reader and the directory scanner with its
// found tree, behind the engine base that the file-system object drives.
#pragma once

#include "engine/ZelEngine.h"
#include "fat32/BlockReader.h"
#include "fat32/MUNdelete.h"

#include <memory>
#include <string>

class CFat32Wrapper : public CZelEngine {
public:
    CFat32Wrapper() = default;
    ~CFat32Wrapper() override;

    uint32_t GetEntryCount();
    // The top-level found entry at index, or null past the end.
    const CDirEntryInterface* GetEntry(uint32_t index);

    // The FAT variant the last scan found: 12, 16, 32, or 0 before a scan.
    int GetVariant() const { return m_pScanner ? m_pScanner->GetVariant() : 0; }

protected:
    bool IsOpenLocked() const override;
    // The device is opened by the scan.
    int32_t OpenLocked(const std::string& volumePath, int32_t blockSize, std::string& error) override;
    void ReleaseLocked() override;
    int32_t ScanLocked(const std::string& volumePath, uint8_t mode, CZelEngineCheckFile* filter,
                       std::string& error) override;
    // Copies the entry's size in bytes from the clusters its plan names;
    // partial when the estimate is below 100 or bytes could not be read.
    int32_t RestoreLocked(CZelRestoreSink& sink, const CZelEngineRecord& record,
                          const CZelProgressCallbackPtr& progress, CZelRestoreReport& report) override;
    boost::shared_ptr<CZelEntityIterator> CreateIterator() override;

private:
    std::unique_ptr<CMUNdelete> m_pScanner;
    std::unique_ptr<CBlockReader> m_pReader;
};
