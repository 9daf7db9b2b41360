#include "platform/OutputFile.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

int ZelCreateNewFile(const char* path, mode_t mode)
{
    return ::open(path, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, mode);
}

bool ZelWriteAll(int fd, const void* data, size_t length)
{
    const char* bytes = static_cast<const char*>(data);
    while (length > 0) {
        ssize_t written = ::write(fd, bytes, length);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (written == 0)
            return false;
        bytes += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

bool ZelWriteZeros(int fd, size_t count)
{
    static const char zeros[65536] = {};
    while (count > 0) {
        size_t n = std::min(count, sizeof zeros);
        if (!ZelWriteAll(fd, zeros, n))
            return false;
        count -= n;
    }
    return true;
}
