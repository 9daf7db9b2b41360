#include "ZelCreatorImpl.h"

#include "ZelFileSystemImpl.h"
#include "filters/ZelCheckFileDescriptions.h"
#include "volumes/ZelVolumeEnumImpl.h"
#include "jexfscore/ZelExport.h"
#include "jexfscore/ZelText.h"
#include "platform/DeviceFile.h"
#include "platform/FsProbe.h"
#include "platform/MessageHook.h"
#include "platform/VolumePath.h"

#include <boost/make_shared.hpp>

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

std::string UpperAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

void ReportTrouble(const std::string& path, const std::string& reason)
{
    ZelShowMessage(ZelNarrowToWide(path + ": " + reason), kZelTroubleCaption);
}

} // namespace

boost::shared_ptr<CZelFileSystem> CZelFileSystemCreatorImpl::CreateFileSystem(const wchar_t* volume)
{
    std::string text = ZelWideToNarrow(volume);
    CZelVolumePath resolved = ZelResolveVolumePath(text);
    if (resolved.device.empty()) {
        ReportTrouble(text, resolved.error);
        return boost::shared_ptr<CZelFileSystem>();
    }
    CZelDeviceFile device;
    std::string error;
    if (!device.Open(resolved.device, error)) {
        ReportTrouble(resolved.device, error);
        return boost::shared_ptr<CZelFileSystem>();
    }
    uint32_t sectorSize = device.SectorSize();
    std::string name = UpperAscii(ZelProbeFileSystemName(device.Descriptor()));
    device.Close();

    if (name == "FAT32")
        return boost::make_shared<CZelFileSystemFAT32Impl>(sectorSize);
    if (name == "NTFS")
        return boost::make_shared<CZelFileSystemNTFSImpl>(sectorSize);
    // FAT12, FAT16, other file systems and unrecognised volumes.
    return boost::shared_ptr<CZelFileSystem>();
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
