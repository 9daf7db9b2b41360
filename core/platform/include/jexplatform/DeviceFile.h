// Read-only access to a volume: a block device node or a regular file that
// holds a file-system image. A volume is never opened for writing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

class CZelDeviceFile {
public:
    CZelDeviceFile() = default;
    ~CZelDeviceFile();
    CZelDeviceFile(const CZelDeviceFile&) = delete;
    CZelDeviceFile& operator=(const CZelDeviceFile&) = delete;

    // Opens path read-only. On failure returns false and sets error to the
    // system's reason (for example "Permission denied").
    bool Open(const std::string& path, std::string& error);
    void Close();
    bool IsOpen() const { return m_Fd >= 0; }
    int Descriptor() const { return m_Fd; }
    const std::string& Path() const { return m_Path; }

    // Reads up to count bytes at offset; returns the number of bytes read:
    // fewer at the end of the volume (error 0) or where a read failed (error
    // holds errno). Interrupted and partial reads are continued.
    int64_t ReadAt(uint64_t offset, void* destination, size_t count, int& error) const;

    bool IsBlockDevice() const { return m_BlockDevice; }
    // True while the path opened still names the same device or file.
    bool StillNamed() const;
    // Size in bytes: the device size or the image file's size; 0 when unknown.
    uint64_t Size() const;
    // Logical sector size: the device's for a block device, 512 for an image
    // file, 0 for anything else.
    uint32_t SectorSize() const;

private:
    int m_Fd = -1;
    bool m_BlockDevice = false;
    bool m_RegularFile = false;
    dev_t m_Identity = 0;
    std::string m_Path;
};
