#include "ZelCreatorImpl.h"

#include "engine/ZelEngineTable.h"
#include "exfat/ExfatRebuild.h"
#include "exfat/ZelFileSystemExfatImpl.h"
#include "fat32/ZelFileSystemFAT32Impl.h"
#include "filters/ZelCheckFileDescriptions.h"
#include "jexcommon/ZelExport.h"
#include "jexcommon/ZelText.h"
#include "jexplatform/DeviceFile.h"
#include "jexplatform/FsProbe.h"
#include "jexplatform/VolumePath.h"
#include "ntfs/NtfsBackupBoot.h"
#include "ntfs/ZelFileSystemNTFSImpl.h"
#include "platform/MessageHook.h"
#include "volumes/ZelVolumeEnumImpl.h"

#include <boost/make_shared.hpp>

#include <cstring>
#include <vector>

boost::shared_ptr<CZelVolumeEnum> CZelCreatorImpl::CreateVolumeEnum()
{
    return boost::make_shared<CZelVolumeEnumImpl>();
}

boost::shared_ptr<CZelFileSystemCreator> CZelCreatorImpl::CreateFileSystemCreator()
{
    return boost::make_shared<CZelFileSystemCreatorImpl>();
}

boost::shared_ptr<CZelCheckFileCreator> CZelCreatorImpl::CreateCheckFileCreator()
{
    return boost::make_shared<CZelCheckFileCreatorImpl>();
}

boost::shared_ptr<CZelFileSystemFAT32> CZelFileSystemCreatorImpl::CreateFAT32()
{
    return boost::make_shared<CZelFileSystemFAT32Impl>(0);
}

boost::shared_ptr<CZelFileSystemNTFS> CZelFileSystemCreatorImpl::CreateNTFS()
{
    return boost::make_shared<CZelFileSystemNTFSImpl>(0);
}

namespace {

// "a FAT16", "an exFAT".
std::string WithArticle(const std::string& name)
{
    char first = name.empty() ? 'x' : static_cast<char>(name[0] | 0x20);
    bool vowel = first == 'a' || first == 'e' || first == 'i' || first == 'o' || first == 'u';
    return (vowel ? "an " : "a ") + name;
}

} // namespace

boost::shared_ptr<CZelFileSystem> CZelFileSystemCreatorImpl::Choose(const wchar_t* volume, std::wstring& reason,
                                                                    bool& unreadable, bool unrecognised)
{
    reason.clear();
    unreadable = false;
    std::string text = ZelWideToNarrow(volume);
    CZelVolumePath resolved = ZelResolveVolumePath(text);
    CZelDeviceFile device;
    std::string error;
    if (resolved.device.empty()) {
        unreadable = true;
        reason = ZelNarrowToWide(text + ": " + resolved.error);
        return boost::shared_ptr<CZelFileSystem>();
    }
    if (!device.Open(resolved.device, error)) {
        unreadable = true;
        reason = ZelNarrowToWide(resolved.device + ": " + error);
        return boost::shared_ptr<CZelFileSystem>();
    }
    uint32_t sectorSize = device.SectorSize();
    std::string name = ZelProbeFileSystemName(device.Descriptor(), device.WindowOffset(), device.WindowLength());
    if (name.empty()) {
        // Nothing recognised may be a volume that cannot be read at all.
        uint8_t start[4096];
        int readError = 0;
        device.ReadAt(0, start, sizeof start, readError);
        if (readError != 0) {
            unreadable = true;
            reason = ZelNarrowToWide(resolved.device + ": cannot be read (" + std::strerror(readError) + ")");
            return boost::shared_ptr<CZelFileSystem>();
        }
    }
    // The copy of an NTFS boot sector in the volume's last sector, or the
    // backup boot region exFAT keeps from sector 12.
    bool ntfsCopy = false, exfatCopy = false;
    if (name.empty() && unrecognised) {
        for (uint64_t sector : {uint64_t(512), uint64_t(4096)}) {
            char oem[11] = {};
            int exfatError = 0;
            exfatCopy = exfatCopy || (device.ReadAt(12 * sector, oem, sizeof oem, exfatError) == sizeof oem &&
                                      std::memcmp(oem + 3, "EXFAT   ", 8) == 0);
        }
        std::vector<uint8_t> last(512);
        int lastError = 0;
        const uint64_t size = device.Size();
        ntfsCopy = size >= 1024 &&
                   device.ReadAt(size - last.size(), last.data(), last.size(), lastError) ==
                       static_cast<int64_t>(last.size()) &&
                   ZelLooksLikeNtfsBoot(last.data(), last.size());
    }
    device.Close();
    // An exFAT volume whose boot regions are both gone still has its root
    // directory near the start: looked for within a 32nd of the volume.
    bool exfatRoot = false;
    if (name.empty() && unrecognised && !ntfsCopy && !exfatCopy) {
        std::string openError;
        if (std::unique_ptr<CZelVolumeSource> source = ZelOpenVolumeSource(text, openError)) {
            uint64_t offset = 0;
            CExfatRootClues clues;
            exfatRoot = ZelFindExfatRoot(*source, ZelExfatRootSearchBound(source->Size()), offset, clues);
        }
    }

    if (const CZelEngineRow* engine = ZelFindEngine(name))
        return engine->create(sectorSize);
    // For a deep search: an NTFS volume whose boot sector is gone but whose
    // copy in the last sector is not; an exFAT volume by its backup region
    // or its root directory; anything else may be a FAT volume whose layout
    // its folders tell.
    if (name.empty() && unrecognised)
        return ntfsCopy    ? ZelCreateNtfsFileSystem(sectorSize)
               : exfatCopy || exfatRoot ? ZelCreateExfatFileSystem(sectorSize)
                           : ZelCreateFatFileSystem(sectorSize);
    // FAT12, FAT16, other file systems and unrecognised volumes.
    std::string holds = name.empty() ? "holds no file system that could be recognised"
                                     : "holds " + WithArticle(name) + " file system";
    reason = ZelNarrowToWide(text + ": " + holds + "; only " + ZelSearchedFileSystems() + " volumes can be searched");
    return boost::shared_ptr<CZelFileSystem>();
}

boost::shared_ptr<CZelFileSystem> CZelFileSystemCreatorImpl::CreateFileSystem(const wchar_t* volume)
{
    std::wstring reason;
    bool unreadable = false;
    boost::shared_ptr<CZelFileSystem> fileSystem = Choose(volume, reason, unreadable);
    // A volume that cannot be read is reported; one whose file system is
    // not searched is not.
    if (unreadable)
        ZelShowMessage(reason, kZelTroubleCaption);
    return fileSystem;
}

boost::shared_ptr<CZelFileSystem> CZelFileSystemCreatorImpl::CreateFileSystemEx(const wchar_t* volume,
                                                                                std::wstring& reason)
{
    bool unreadable = false;
    return Choose(volume, reason, unreadable);
}

boost::shared_ptr<CZelFileSystem> CZelFileSystemCreatorImpl::CreateFileSystemForDeepSearch(const wchar_t* volume,
                                                                                           std::wstring& reason)
{
    bool unreadable = false;
    return Choose(volume, reason, unreadable, true);
}

namespace {
CZelCreatorImpl g_Creator;
CZelFileSystemCreatorImpl g_FileSystemCreator;
} // namespace

extern "C" ZEL_EXPORT CZelCreator* Creator()
{
    return &g_Creator;
}

extern "C" ZEL_EXPORT CZelFileSystemCreator* FileSystemCreator()
{
    return &g_FileSystemCreator;
}
