// The FAT32 engine as the file-system object drives it.
#pragma once

#include "jexfscore/ZelCallback.h"
#include "fat32/DirEntryInterface.h"

#include <cstdint>
#include <string>

class CFat32CheckFile;

class CFat32Interface {
public:
    virtual ~CFat32Interface() = default;
    // Binds the engine to a volume path; the device is opened by the scan.
    virtual int32_t Open(const char* volumePath, int32_t blockSize) = 0;
    virtual void Close() = 0;
    // The text after the last "/" of the volume path.
    virtual std::string GetRootName() = 0;
    // Walks the volume for deleted entries; mode 1 keeps only deleted files
    // (directories are always kept), mode 0 keeps every entry. 0 after a
    // completed scan, -1 when the volume cannot be scanned.
    virtual int32_t FindDeleted(const char* volumePath, uint8_t mode, CFat32CheckFile* filter) = 0;
    virtual uint32_t GetEntryCount() = 0;
    // The top-level found entry at index, or null past the end.
    virtual const CDirEntryInterface* GetEntry(uint32_t index) = 0;
    // Copies the entry's data to a new file at destination: 0 on success, -1
    // when the destination cannot be written, -2 when the entry is not a file
    // of this engine or nothing is open.
    virtual int32_t RestoreFile(const char* destination, const CDirEntryInterface* entry,
                                CZelProgressCallbackPtr progress) = 0;
    virtual double GetProgress() = 0;
    // Bumped by Open, Close and every scan: the found entries of an earlier
    // generation are gone.
    virtual uint64_t GetGeneration() = 0;
    // RestoreFile for an entry found under generation; -3, without looking
    // at the entry, when that generation has ended. Serialised with Open,
    // Close and FindDeleted, so the entry cannot go away meanwhile.
    virtual int32_t RestoreCurrentFile(uint64_t generation, const char* destination,
                                       const CDirEntryInterface* entry, CZelProgressCallbackPtr progress) = 0;
    // Why the last scan could not run (device path and reason), empty when
    // it ran.
    virtual std::string GetLastError() = 0;
};
