// libntfs-3g reads the volume through a volume source: a device operations
// table whose reads call the source and whose writes are refused. It keeps
// count of the reads that failed and notes a device that has gone.
#pragma once

#include "jexplatform/VolumeSource.h"
#include "ntfs/NtfsLibrary.h"

#include <cstdint>
#include <memory>

class CNtfsSourceDevice {
public:
    explicit CNtfsSourceDevice(std::unique_ptr<CZelVolumeSource> source);
    CNtfsSourceDevice(const CNtfsSourceDevice&) = delete;
    CNtfsSourceDevice& operator=(const CNtfsSourceDevice&) = delete;

    // A new device over the source for ntfs_device_mount; ntfs_umount frees
    // it. The source object must outlive it.
    struct ntfs_device* Allocate();

    CZelVolumeSource& Source() { return *m_pSource; }
    // Reads of libntfs-3g that failed so far.
    uint64_t FailedReads() const { return m_FailedReads; }
    bool Vanished() const { return m_Vanished; }
    // errno of the last failed read.
    int LastError() const { return m_LastError; }

    // Called by the operations table.
    s64 Read(void* buffer, s64 count, s64 offset);
    s64 Seek(s64 offset, int whence);
    s64 Position() const { return m_Position; }
    void Advance(s64 count) { m_Position += count; }

private:
    std::unique_ptr<CZelVolumeSource> m_pSource;
    s64 m_Position = 0;
    uint64_t m_FailedReads = 0;
    bool m_Vanished = false;
    int m_LastError = 0;
};
