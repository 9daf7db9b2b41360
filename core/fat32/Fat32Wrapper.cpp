#include "fat32/Fat32Wrapper.h"

#include "platform/VolumePath.h"

CFat32Wrapper::~CFat32Wrapper()
{
    Close();
}

int32_t CFat32Wrapper::Open(const char* volumePath, int32_t blockSize)
{
    Close();
    if (volumePath == nullptr)
        return -1;
    m_VolumePath = volumePath;
    m_BlockSize = blockSize;
    m_Open = true;
    return 0;
}

void CFat32Wrapper::Close()
{
    m_Open = false;
    m_Generation.Advance();
}

std::string CFat32Wrapper::GetRootName()
{
    return ZelRootName(m_VolumePath);
}

int32_t CFat32Wrapper::FindDeleted(const char* /*volumePath*/, uint8_t /*mode*/, CFat32CheckFile* /*filter*/)
{
    m_Generation.Advance();
    {
        std::lock_guard<std::mutex> lock(m_ProgressLock);
        m_Progress = 0.0;
    }
    if (!m_Open)
        return -1;
    return 0;
}

uint32_t CFat32Wrapper::GetEntryCount()
{
    return 0;
}

const CDirEntryInterface* CFat32Wrapper::GetEntry(uint32_t /*index*/)
{
    return nullptr;
}

int32_t CFat32Wrapper::RestoreFile(const char* /*destination*/, const CDirEntryInterface* /*entry*/,
                                   CZelProgressCallbackPtr /*progress*/)
{
    // No entry belongs to this engine until its scan finds one.
    return -2;
}

double CFat32Wrapper::GetProgress()
{
    std::lock_guard<std::mutex> lock(m_ProgressLock);
    return m_Progress;
}

uint64_t CFat32Wrapper::GetGeneration()
{
    return m_Generation.Current();
}

std::string CFat32Wrapper::GetLastError()
{
    return std::string();
}
