// The export through which a program hands the core the descriptor of a
// device the helper opened for it: the core keeps its own table.
#include "jexcommon/ZelExport.h"
#include "jexplatform/DeviceGrants.h"

#include <fcntl.h>

extern "C" ZEL_EXPORT void JexGrantDevice(const char* path, int fd)
{
    if (path == nullptr || fd < 0)
        return;
    // The caller keeps its descriptor; the core keeps one of its own.
    int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own >= 0)
        ZelGrantDevice(path, own);
}
