// A volume's recovery engine as the caller sees it, and the factory that
// chooses one for a volume.
#pragma once

#include "jexfscore/ZelCheckFile.h"
#include "jexfscore/ZelEntries.h"
#include "jexfscore/ZelResult.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <string>

// FindDeletedEx with this in its flag makes a deep search: besides what the
// file system's own structures reach (the quick search), the free space is
// searched, for the folders and files of a deleted or formatted tree.
constexpr int32_t kZelSearchDeep = 0x10000;
// And with this, a file's named data streams are listed as entries of their
// own ("name:stream"), where the file system has them (NTFS).
constexpr int32_t kZelSearchStreams = 0x20000;

class CZelFileSystem {
public:
    // Binds the engine to the volume; 0 bytes per sector means the sector
    // size found when the object was created.
    virtual ZELRESULT Open(const wchar_t* volume, uint32_t bytesPerSector) = 0;
    // Releases the engine's volume binding and its found entries.
    virtual void Close() = 0;
    // Scans the volume for deleted files, keeping those the filter accepts
    // (an empty filter keeps all): the quick search. The flag has no
    // effect.
    virtual ZELRESULT FindDeleted(const wchar_t* volume, int32_t flag, boost::shared_ptr<CZelCheckFile> filter) = 0;
    virtual boost::shared_ptr<CZelEntityIterator> GetIterator() = 0;
    virtual boost::shared_ptr<CZelEntityIterator> GetIteratorEx1() = 0;
    virtual boost::shared_ptr<CZelEntityIterator> GetIteratorEx2() = 0;
    virtual boost::shared_ptr<CZelEntityIterator> GetIteratorEx3() = 0;
    // Scan progress, a fraction from 0 to 1; may be asked from any thread.
    virtual double GetProgress() = 0;
    // The bytes the search under way has read from the volume, and the
    // volume's size, which a deep search reads about once (0 when not
    // known); may be asked from any thread.
    virtual void GetReadProgress(uint64_t& read, uint64_t& volumeBytes)
    {
        read = volumeBytes = 0;
    }
    // The file system's name: "FAT12", "FAT16", "FAT32", "NTFS" or "exFAT".
    virtual std::wstring GetName() = 0;
    virtual ~CZelFileSystem() = default;
    // FindDeleted that tells only its caller how the scan went: the
    // stretches it could not read, the bytes it read, whether it was
    // stopped, and, with ZEL_E_ENGINE, why the volume could not be scanned
    // (the volume and the cause). Nothing is sent to the message hook. With
    // kZelSearchDeep in flag, a deep search.
    virtual ZELRESULT FindDeletedEx(const wchar_t* volume, int32_t flag, boost::shared_ptr<CZelCheckFile> filter,
                                    CZelScanReport& report) = 0;
    // Asks the search running on another thread to end as soon as it can:
    // what it found so far is judged and listed, and can be restored.
    virtual void StopSearch() {}
};

class CZelFileSystemFAT32 : public CZelFileSystem {};
class CZelFileSystemNTFS : public CZelFileSystem {};

class CZelFileSystemCreator {
public:
    virtual boost::shared_ptr<CZelFileSystemFAT32> CreateFAT32() = 0;
    virtual boost::shared_ptr<CZelFileSystemNTFS> CreateNTFS() = 0;
    // The file-system object that fits the volume (a device node, an image
    // file or a mount point), or empty when its file system is not supported
    // or it cannot be opened (the latter also reported through the message
    // hook).
    virtual boost::shared_ptr<CZelFileSystem> CreateFileSystem(const wchar_t* volume) = 0;
    virtual ~CZelFileSystemCreator() = default;
    // CreateFileSystem that tells only its caller why no object results:
    // reason names the volume and says that it cannot be read (and why) or
    // what it holds instead of a file system that is searched. Nothing is
    // sent to the message hook.
    virtual boost::shared_ptr<CZelFileSystem> CreateFileSystemEx(const wchar_t* volume, std::wstring& reason) = 0;
    // CreateFileSystemEx for a deep search: a volume that can be read but
    // holds no file system that could be recognised (its boot region is
    // gone) gets an object that looks for one in its data.
    virtual boost::shared_ptr<CZelFileSystem> CreateFileSystemForDeepSearch(const wchar_t* volume,
                                                                            std::wstring& reason)
    {
        return CreateFileSystemEx(volume, reason);
    }
};
