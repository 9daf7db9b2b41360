// A snapshot of the volumes present when it was made; each record is built
// (file system probed, size read) when it is asked for.
#pragma once

#include "jexfscore/ZelVolume.h"
#include "jexplatform/BlockDevices.h"

#include <cstdint>
#include <string>
#include <vector>

class CZelVolumeInfoIteratorImpl : public CZelVolumeInfoIterator {
public:
    explicit CZelVolumeInfoIteratorImpl(const std::vector<CZelBlockDevice>& devices);

    void First() override;
    void Next() override;
    bool IsDone() override;
    boost::shared_ptr<CZelVolumeInfo> CurrentItem() override;

private:
    std::vector<std::wstring> m_RootPaths;
    // The size the device list gave, for a volume that cannot be opened.
    std::vector<uint64_t> m_ListedSizes;
    // The file system name udev gave, for a volume that cannot be opened.
    std::vector<std::wstring> m_ListedFileSystems;
    int32_t m_Position = 0;
};
