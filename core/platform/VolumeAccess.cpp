#include "jexplatform/VolumeAccess.h"

#include "jexplatform/DeviceFile.h"
#include "jexplatform/DeviceGrants.h"
#include "jexplatform/PartitionTable.h"
#include "jexplatform/VolumePath.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

CZelVolumeCheck ZelCheckVolume(const std::string& volume, bool open)
{
    CZelVolumeCheck check;
    struct stat info;
    CZelVolumePath resolved = ZelResolveVolumePath(volume);
    if (resolved.device.empty()) {
        check.error = volume + ": is a folder, but not the mount point of a device";
        return check;
    }
    check.device = resolved.device;
    std::string image;
    int number = 0;
    if (::stat(check.device.c_str(), &info) != 0 && errno == ENOENT &&
        ZelSplitPartitionText(check.device, image, number)) {
        // A partition of a whole-disk image or device: it is there when its
        // table names it.
        CZelDeviceFile partition;
        std::string error;
        if (!partition.Open(check.device, error)) {
            check.error = check.device + ": " + error;
            return check;
        }
        check.blockDevice = partition.IsBlockDevice();
        check.ok = true;
        return check;
    }
    if (::stat(check.device.c_str(), &info) != 0) {
        check.error = check.device + ": " + std::strerror(errno);
        return check;
    }
    if (!S_ISREG(info.st_mode) && !S_ISBLK(info.st_mode)) {
        check.error = volume + ": is neither a device, an image file nor a mount point";
        return check;
    }
    check.blockDevice = S_ISBLK(info.st_mode);
    if (!open) {
        check.ok = true;
        return check;
    }
    int fd = ZelOpenGranted(check.device);
    if (fd < 0)
        fd = ::open(check.device.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        int reason = errno;
        check.error = check.device + ": " + std::strerror(reason);
        if ((reason == EACCES || reason == EPERM) && check.blockDevice)
            check.error += " (raw devices can be read by root or by members of the disk group)";
        return check;
    }
    ::close(fd);
    check.ok = true;
    return check;
}

namespace {

// The device number in a sysfs "dev" file ("8:1").
bool ReadDev(const std::filesystem::path& file, dev_t& dev)
{
    std::ifstream in(file);
    unsigned major = 0, minor = 0;
    char colon = 0;
    if (!(in >> major >> colon >> minor) || colon != ':')
        return false;
    dev = makedev(major, minor);
    return true;
}

// True when the block device dev is target, a partition of it, or is built
// on it (device mapper, RAID), looking a bounded number of levels down.
bool BuiltOn(dev_t dev, dev_t target, int depth)
{
    if (dev == target)
        return true;
    if (depth > 8)
        return false;
    std::error_code failed;
    std::filesystem::path sys =
        std::filesystem::path("/sys/dev/block") / (std::to_string(major(dev)) + ":" + std::to_string(minor(dev)));
    sys = std::filesystem::canonical(sys, failed);
    if (failed)
        return false;
    dev_t parent = 0;
    if (std::filesystem::exists(sys / "partition", failed) && ReadDev(sys.parent_path() / "dev", parent) &&
        BuiltOn(parent, target, depth + 1))
        return true;
    for (const auto& slave : std::filesystem::directory_iterator(sys / "slaves", failed)) {
        dev_t below = 0;
        if (ReadDev(slave.path() / "dev", below) && BuiltOn(below, target, depth + 1))
            return true;
    }
    return false;
}

} // namespace

bool ZelFolderOnDevice(const std::string& folder, const std::string& device)
{
    struct stat volume;
    // For a partition named inside a whole disk, the disk counts: a folder
    // on any of its partitions may lie on the partition searched.
    std::string disk = device, image;
    int number = 0;
    if (::stat(disk.c_str(), &volume) != 0 && ZelSplitPartitionText(device, image, number))
        disk = image;
    if (::stat(disk.c_str(), &volume) != 0 || !S_ISBLK(volume.st_mode))
        return false;
    std::filesystem::path existing = std::filesystem::absolute(folder);
    struct stat info;
    while (::stat(existing.c_str(), &info) != 0) {
        if (!existing.has_parent_path() || existing.parent_path() == existing)
            return false;
        existing = existing.parent_path();
    }
    return BuiltOn(info.st_dev, volume.st_rdev, 0);
}
