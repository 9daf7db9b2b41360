// A volume as the caller sees it: root path (its device node), file-system
// name and total size.
#pragma once

#include "jexfscore/ZelVolume.h"

class CZelVolumeInfoImpl : public CZelVolumeInfo {
public:
    explicit CZelVolumeInfoImpl(std::wstring rootPath) : m_RootPath(std::move(rootPath)) {}

    const std::wstring& GetRootPath() override { return m_RootPath; }
    uint64_t GetSize() override { return m_Size; }
    const std::wstring& GetFileSystemName() override { return m_FileSystemName; }

    void SetFileSystemName(std::wstring name) { m_FileSystemName = std::move(name); }
    void SetSize(uint64_t size) { m_Size = size; }

private:
    std::wstring m_RootPath;
    std::wstring m_FileSystemName;
    uint64_t m_Size = 0;
};
