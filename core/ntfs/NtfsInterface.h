// The NTFS engine as the file-system object drives it.
#pragma once

#include "jexfscore/ZelCallback.h"
#include "ntfs/NtfsEntryInterface.h"

#include <cstdint>
#include <string>

class CNtfsCheckFile;

class CNtfsInterface {
public:
    // Mounts the volume read-only: 0, or -1 when it cannot be mounted.
    virtual int32_t Open(const char* volumePath, int32_t sectorSize) = 0;
    virtual void Close() = 0;
    virtual std::string GetRootName() = 0;
    // Lists the records no longer in use that carry a name: 0, or -1 when
    // nothing is mounted.
    virtual int32_t FindDeleted(const char* volumePath, uint8_t mode, CNtfsCheckFile* filter) = 0;
    virtual uint32_t GetEntryCount() = 0;
    virtual const CNtfsEntryInterface* GetEntry(uint32_t index) = 0;
    // 0 on success, -1 otherwise.
    virtual int32_t RestoreFile(const char* destination, const CNtfsEntryInterface* entry,
                                CZelProgressCallbackPtr progress) = 0;
    virtual double GetProgress() = 0;
    virtual ~CNtfsInterface() = default;
    // Bumped by Open, Close and every scan.
    virtual uint64_t GetGeneration() = 0;
    // RestoreFile for an entry found under generation; -3, without looking
    // at the entry, when that generation has ended.
    virtual int32_t RestoreCurrentFile(uint64_t generation, const char* destination,
                                       const CNtfsEntryInterface* entry, CZelProgressCallbackPtr progress) = 0;
    // Why the volume could not be mounted or scanned, empty when it was.
    virtual std::string GetLastError() = 0;
};
