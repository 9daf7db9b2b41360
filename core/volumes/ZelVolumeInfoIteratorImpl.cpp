#include "volumes/ZelVolumeInfoIteratorImpl.h"

#include "jexcommon/ZelText.h"
#include "jexplatform/FsProbe.h"
#include "volumes/ZelVolumeInfoImpl.h"

#include <boost/make_shared.hpp>

CZelVolumeInfoIteratorImpl::CZelVolumeInfoIteratorImpl(const std::vector<CZelBlockDevice>& devices)
{
    for (const CZelBlockDevice& device : devices) {
        m_RootPaths.push_back(ZelNarrowToWide(device.node));
        m_ListedSizes.push_back(device.size);
        m_ListedFileSystems.push_back(
            device.fsType.empty() ? std::wstring() : ZelNarrowToWide(ZelFileSystemNameOf(device.fsType, device.fsVersion)));
    }
}

void CZelVolumeInfoIteratorImpl::First()
{
    m_Position = 0;
}

void CZelVolumeInfoIteratorImpl::Next()
{
    if (m_Position < static_cast<int32_t>(m_RootPaths.size()))
        ++m_Position;
}

bool CZelVolumeInfoIteratorImpl::IsDone()
{
    if (m_Position >= static_cast<int32_t>(m_RootPaths.size())) {
        m_Position = static_cast<int32_t>(m_RootPaths.size());
        return true;
    }
    return false;
}

boost::shared_ptr<CZelVolumeInfo> CZelVolumeInfoIteratorImpl::CurrentItem()
{
    if (m_Position < 0 || m_Position >= static_cast<int32_t>(m_RootPaths.size()))
        return boost::shared_ptr<CZelVolumeInfo>();
    size_t i = static_cast<size_t>(m_Position);
    auto record = boost::make_shared<CZelVolumeInfoImpl>(m_RootPaths[i]);
    // A drive without a medium (size 0) has no file system to ask.
    if (m_ListedSizes[i] != 0) {
        CZelVolumeDescription description = ZelDescribeVolume(ZelWideToNarrow(m_RootPaths[i]), m_ListedSizes[i]);
        // The machine's own disks, which only root may open, still show
        // what they hold.
        record->SetFileSystemName(description.fileSystemName.empty() ? m_ListedFileSystems[i]
                                                                     : description.fileSystemName);
        record->SetSize(description.size);
    }
    return record;
}
