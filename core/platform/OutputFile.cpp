#include "jexplatform/OutputFile.h"

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

bool ZelSkipZeros(int fd, uint64_t count)
{
    if (count > static_cast<uint64_t>(INT64_MAX))
        return false;
    return ::lseek(fd, static_cast<off_t>(count), SEEK_CUR) >= 0;
}
