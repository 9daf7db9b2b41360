#include "VolumePermission.h"

#include "jexplatform/DeviceGrants.h"
#include "jexplatform/VolumePath.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

bool ZelLacksReadPermission(const std::string& volume)
{
    CZelVolumePath resolved = ZelResolveVolumePath(volume);
    if (resolved.device.empty() || ZelIsGranted(resolved.device))
        return false;
    // Opened as the engines open it; access() would answer for the real
    // user, not the one the program runs as.
    int fd = ::open(resolved.device.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return false;
    }
    return errno == EACCES || errno == EPERM;
}
