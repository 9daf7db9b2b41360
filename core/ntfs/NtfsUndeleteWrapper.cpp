#include "ntfs/NtfsUndeleteWrapper.h"

#include "platform/VolumePath.h"

CNtfsUndeleteWrapper::~CNtfsUndeleteWrapper()
{
    Close();
}

int32_t CNtfsUndeleteWrapper::Open(const char* volumePath, int32_t /*sectorSize*/)
{
    Close();
    if (volumePath == nullptr)
        return -1;
    m_VolumePath = volumePath;
    m_Mounted = true;
    return 0;
}

void CNtfsUndeleteWrapper::Close()
{
    m_Mounted = false;
    m_Generation.Advance();
}

std::string CNtfsUndeleteWrapper::GetRootName()
{
    return ZelRootName(m_VolumePath);
}

int32_t CNtfsUndeleteWrapper::FindDeleted(const char* /*volumePath*/, uint8_t mode, CNtfsCheckFile* /*filter*/)
{
    m_Generation.Advance();
    if (mode == 0 || !m_Mounted)
        return -1;
    std::lock_guard<std::mutex> lock(m_ProgressLock);
    m_Progress = 1.0;
    return 0;
}

uint32_t CNtfsUndeleteWrapper::GetEntryCount()
{
    return 0;
}

const CNtfsEntryInterface* CNtfsUndeleteWrapper::GetEntry(uint32_t /*index*/)
{
    return nullptr;
}

int32_t CNtfsUndeleteWrapper::RestoreFile(const char* /*destination*/, const CNtfsEntryInterface* /*entry*/,
                                          CZelProgressCallbackPtr /*progress*/)
{
    return -1;
}

double CNtfsUndeleteWrapper::GetProgress()
{
    std::lock_guard<std::mutex> lock(m_ProgressLock);
    return m_Progress;
}

uint64_t CNtfsUndeleteWrapper::GetGeneration()
{
    return m_Generation.Current();
}

std::string CNtfsUndeleteWrapper::GetLastError()
{
    return std::string();
}
