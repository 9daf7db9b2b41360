// Read-only access to a volume: a block device node or a regular file that
// holds a file-system image, or a partition inside a whole-disk device or
// image named "IMAGE@pN" (a file literally named so wins), read through
// the window the partition table gives it. A volume is never opened for
// writing. An image file that a GNU ddrescue map describes (see
// RescueMap.h) cannot be read where the map says the copy was not read.
#pragma once

class CZelRescueMap;

#include <cstddef>
#include <cstdint>
#include <memory>
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
    // For a partition: where its window starts on the descriptor and how
    // long it is; 0 and 0 for a whole device or image.
    uint64_t WindowOffset() const { return m_Offset; }
    uint64_t WindowLength() const { return m_Windowed ? m_Length : 0; }

    // Reads up to count bytes at offset; returns the number of bytes read:
    // fewer at the end of the volume (error 0) or where a read failed (error
    // holds errno). Interrupted and partial reads are continued.
    int64_t ReadAt(uint64_t offset, void* destination, size_t count, int& error) const;
    // Asks the system to start reading count bytes at offset (inside a
    // partition's window) into its cache.
    void WillRead(uint64_t offset, uint64_t count) const;

    bool IsBlockDevice() const { return m_BlockDevice; }
    // True while the path opened still names the same device or file.
    bool StillNamed() const;
    // Size in bytes: the device size or the image file's size; for a
    // partition, its length, cut where the image or device ends first; 0
    // when unknown.
    uint64_t Size() const;
    // Logical sector size: the device's for a block device, 512 for an image
    // file, 0 for anything else.
    uint32_t SectorSize() const;

private:
    bool OpenPartition(const std::string& path, const std::string& image, int number, std::string& error);

    int m_Fd = -1;
    bool m_BlockDevice = false;
    bool m_RegularFile = false;
    dev_t m_Identity = 0;
    std::string m_Path;
    // The file opened: the image of a partition, else the path.
    std::string m_File;
    // The whole image's or device's size.
    uint64_t WholeSize() const;

    bool m_Windowed = false;
    uint64_t m_Offset = 0;
    uint64_t m_Length = 0;
    // The map of the image file, and the file's size when it was opened.
    std::shared_ptr<const CZelRescueMap> m_pMap;
    uint64_t m_MapEnd = 0;
};
