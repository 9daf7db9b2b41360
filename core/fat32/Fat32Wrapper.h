// The FAT32 engine object owned by the FAT32 file-system object.
//
// This first version binds to a volume path and answers every query, but its
// scan finds nothing yet; the directory walk replaces it.
#pragma once

#include "EngineGeneration.h"
#include "fat32/Fat32Interface.h"

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
    std::string GetLastError() override;

private:
    std::string m_VolumePath;
    int32_t m_BlockSize = 0;
    bool m_Open = false;
    double m_Progress = 0.0;
    std::mutex m_ProgressLock;
    CZelEngineGeneration m_Generation;
};
