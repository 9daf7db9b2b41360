// The NTFS engine object owned by the NTFS file-system object.
//
// This first version binds to a volume path and answers every query, but its
// scan finds nothing yet; the MFT scan on libntfs-3g replaces it.
#pragma once

#include "EngineGeneration.h"
#include "ntfs/NtfsInterface.h"

#include <mutex>
#include <string>

class CNtfsUndeleteWrapper : public CNtfsInterface {
public:
    CNtfsUndeleteWrapper() = default;

    int32_t Open(const char* volumePath, int32_t sectorSize) override;
    void Close() override;
    std::string GetRootName() override;
    int32_t FindDeleted(const char* volumePath, uint8_t mode, CNtfsCheckFile* filter) override;
    uint32_t GetEntryCount() override;
    const CNtfsEntryInterface* GetEntry(uint32_t index) override;
    int32_t RestoreFile(const char* destination, const CNtfsEntryInterface* entry,
                        CZelProgressCallbackPtr progress) override;
    double GetProgress() override;
    ~CNtfsUndeleteWrapper() override;
    uint64_t GetGeneration() override;
    std::string GetLastError() override;

private:
    std::string m_VolumePath;
    bool m_Mounted = false;
    double m_Progress = 0.0;
    std::mutex m_ProgressLock;
    CZelEngineGeneration m_Generation;
};
