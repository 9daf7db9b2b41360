// The FAT32 engine object owned by the FAT32 file-system object: it holds
// the volume reader and the directory scanner with its found tree, and the
// scan's progress, which another thread may read while a scan runs.
#pragma once

#include "EngineGeneration.h"
#include "fat32/BlockReader.h"
#include "fat32/Fat32Interface.h"
#include "fat32/MUNdelete.h"
#include "jexfscore/ZelString.h"

#include <boost/thread/mutex.hpp>

#include <memory>
#include <mutex>
#include <string>

class CFat32Wrapper : public CFat32Interface {
public:
    CFat32Wrapper() = default;
    ~CFat32Wrapper() override;

    int32_t Open(const char* volumePath, int32_t blockSize) override;
    void Close() override;
    std::string GetRootName() override;
    int32_t FindDeleted(const char* volumePath, uint8_t mode, CFat32CheckFile* filter) override;
    uint32_t GetEntryCount() override;
    const CDirEntryInterface* GetEntry(uint32_t index) override;
    int32_t RestoreFile(const char* destination, const CDirEntryInterface* entry,
                        CZelProgressCallbackPtr progress) override;
    double GetProgress() override;
    uint64_t GetGeneration() override;
    int32_t RestoreCurrentFile(uint64_t generation, const char* destination, const CDirEntryInterface* entry,
                               CZelProgressCallbackPtr progress) override;
    std::string GetLastError() override;

    // The FAT variant the last scan found: 12, 16, 32, or 0 before a scan.
    int GetVariant() const { return m_pScanner ? m_pScanner->GetVariant() : 0; }

private:
    int32_t Restore(const char* destination, const CDirEntryInterface* entry, const CZelProgressCallbackPtr& progress);
    void CloseLocked();
    void PublishVolumeSize(uint64_t size);
    void PublishPosition(uint64_t position);

    std::unique_ptr<CMUNdelete> m_pScanner;
    std::unique_ptr<CBlockReader> m_pReader;
    CZelStringA m_VolumePath;
    uint64_t m_ScanPosition = 0;
    uint64_t m_VolumeSize = 0;
    double m_Progress = 0.0;
    boost::mutex m_ProgressLock;
    // Serialises Open, Close, scans and restores: a restore never meets a
    // reader or a found tree that another thread is replacing.
    std::mutex m_EngineLock;
    CZelEngineGeneration m_Generation;
    std::string m_LastError;
};
