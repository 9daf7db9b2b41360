// The NTFS engine object owned by the NTFS file-system object. It mounts the
// volume read-only through libntfs-3g, lists the MFT records that are no
// longer in use and still carry a name, and copies a record's data out.
#pragma once

#include "EngineGeneration.h"
#include "ntfs/NtfsClusterBitmap.h"
#include "ntfs/NtfsFoundRecord.h"
#include "ntfs/NtfsInterface.h"
#include "ntfs/NtfsLibrary.h"
#include "jexfscore/ZelString.h"

#include <boost/thread/mutex.hpp>

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

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
    int32_t RestoreCurrentFile(uint64_t generation, const char* destination, const CNtfsEntryInterface* entry,
                               CZelProgressCallbackPtr progress) override;
    std::string GetLastError() override;

    // Parent folders above a directory are followed at most this deep.
    static constexpr int kMaxParentDepth = 1024;
    // Folder paths are cut at this many characters.
    static constexpr size_t kMaxPathLength = 4096;

private:
    void CloseLocked();
    int32_t ScanMftBitmap(CNtfsCheckFile* filter);
    // The record as it is on the volume now; null when it cannot be read.
    std::unique_ptr<ufile> ReadRecord(uint64_t record);
    void GetFileNames(ufile& file, const CNtfsRecordFields& fields);
    void GetData(ufile& file, const CNtfsRecordFields& fields);
    // The folders from just below the root down to the directory record,
    // joined with "/"; computed once per directory and scan.
    std::wstring DirectoryPath(uint64_t record);
    int32_t Restore(const char* destination, const CNtfsEntryInterface* entry, const CZelProgressCallbackPtr& progress);
    bool UndeleteRecord(uint64_t record, const char* destination, const CZelProgressCallbackPtr& progress);
    void SetProgress(double value);

    ntfs_volume* m_pVolume = nullptr;
    std::vector<std::unique_ptr<ufile>> m_Results;
    CZelStringA m_VolumePath;
    double m_Progress = 0.0;
    boost::mutex m_ProgressLock;
    std::mutex m_EngineLock;
    CZelEngineGeneration m_Generation;
    std::string m_LastError;
    std::unique_ptr<CNtfsClusterBitmap> m_pClusters;
    std::unordered_map<uint64_t, std::wstring> m_DirectoryPaths;
};
