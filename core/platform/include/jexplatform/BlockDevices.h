// The block devices of the machine that can hold a file system, as libudev
// lists them (subsystem "block"), and what a volume holds.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct udev;

struct CZelBlockDevice {
    std::string syspath;
    std::string node;     // "/dev/sdb1"
    std::string name;     // "sdb1"
    std::string devtype;  // "disk" or "partition"
    uint64_t size = 0;    // bytes, from sysfs; 0 without a medium
    bool hasPartitions = false;
    bool loopAttached = false;
    // The file system udev's own probe found (ID_FS_TYPE, ID_FS_VERSION):
    // known also for devices the user may not open.
    std::string fsType;
    std::string fsVersion;

    bool HasMedium() const { return size != 0; }
};

// Partitions, whole disks that carry no partition table, device-mapper
// volumes and optical drives; never ram or zram devices, nor loop devices
// with nothing attached.
bool ZelIsVolumeDevice(const CZelBlockDevice& device);

// The volume devices present now, sorted by name.
std::vector<CZelBlockDevice> ZelListVolumeDevices(struct udev* context);
// Keeps the volume devices of a list and sorts them by name.
std::vector<CZelBlockDevice> ZelSelectVolumeDevices(std::vector<CZelBlockDevice> devices);

struct CZelVolumeDescription {
    std::wstring fileSystemName; // empty when unknown
    uint64_t size = 0;            // 0 when unknown
};

// The file-system name and size of a volume: probed on the device opened
// read-only; when it cannot be opened the name stays empty and the size is
// fallbackSize.
CZelVolumeDescription ZelDescribeVolume(const std::string& node, uint64_t fallbackSize);
