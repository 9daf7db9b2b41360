#include "jexplatform/BlockDevices.h"

#include "jexcommon/ZelText.h"
#include "jexplatform/DeviceFile.h"
#include "jexplatform/FsProbe.h"

#include <libudev.h>

#include <algorithm>
#include <cstdlib>
#include <set>

namespace {

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

std::string Text(const char* value)
{
    return value != nullptr ? value : "";
}

} // namespace

bool ZelIsVolumeDevice(const CZelBlockDevice& device)
{
    if (device.node.empty() || StartsWith(device.name, "ram") || StartsWith(device.name, "zram"))
        return false;
    if (StartsWith(device.name, "loop") && device.devtype == "disk" && !device.loopAttached)
        return false;
    if (device.devtype == "partition")
        return true;
    return device.devtype == "disk" && !device.hasPartitions;
}

std::vector<CZelBlockDevice> ZelSelectVolumeDevices(std::vector<CZelBlockDevice> devices)
{
    devices.erase(std::remove_if(devices.begin(), devices.end(),
                                 [](const CZelBlockDevice& d) { return !ZelIsVolumeDevice(d); }),
                  devices.end());
    std::sort(devices.begin(), devices.end(),
              [](const CZelBlockDevice& a, const CZelBlockDevice& b) { return a.name < b.name; });
    return devices;
}

std::vector<CZelBlockDevice> ZelListVolumeDevices(struct udev* context)
{
    std::vector<CZelBlockDevice> devices;
    if (context == nullptr)
        return devices;
    struct udev_enumerate* enumerate = udev_enumerate_new(context);
    if (enumerate == nullptr)
        return devices;
    udev_enumerate_add_match_subsystem(enumerate, "block");
    udev_enumerate_scan_devices(enumerate);
    std::set<std::string> parentsOfPartitions;
    struct udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate))
    {
        struct udev_device* device = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
        if (device == nullptr)
            continue;
        CZelBlockDevice d;
        d.syspath = Text(udev_device_get_syspath(device));
        d.node = Text(udev_device_get_devnode(device));
        d.name = Text(udev_device_get_sysname(device));
        d.devtype = Text(udev_device_get_devtype(device));
        // sysfs counts 512-byte units whatever the sector size.
        d.size = std::strtoull(Text(udev_device_get_sysattr_value(device, "size")).c_str(), nullptr, 10) * 512;
        d.loopAttached = !Text(udev_device_get_sysattr_value(device, "loop/backing_file")).empty();
        d.fsType = Text(udev_device_get_property_value(device, "ID_FS_TYPE"));
        d.fsVersion = Text(udev_device_get_property_value(device, "ID_FS_VERSION"));
        if (d.devtype == "partition") {
            struct udev_device* parent = udev_device_get_parent_with_subsystem_devtype(device, "block", "disk");
            if (parent != nullptr)
                parentsOfPartitions.insert(Text(udev_device_get_syspath(parent)));
        }
        devices.push_back(std::move(d));
        udev_device_unref(device);
    }
    udev_enumerate_unref(enumerate);
    for (CZelBlockDevice& d : devices)
        d.hasPartitions = parentsOfPartitions.count(d.syspath) != 0;
    return ZelSelectVolumeDevices(std::move(devices));
}

CZelVolumeDescription ZelDescribeVolume(const std::string& node, uint64_t fallbackSize)
{
    CZelVolumeDescription description;
    description.size = fallbackSize;
    CZelDeviceFile device;
    std::string error;
    if (!device.Open(node, error))
        return description;
    description.fileSystemName = ZelNarrowToWide(ZelProbeFileSystemName(device.Descriptor(), device.WindowOffset(), device.WindowLength()));
    description.size = device.Size();
    return description;
}
