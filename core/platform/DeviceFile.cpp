#include "jexplatform/DeviceFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

CZelDeviceFile::~CZelDeviceFile()
{
    Close();
}

bool CZelDeviceFile::Open(const std::string& path, std::string& error)
{
    Close();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        error = std::strerror(errno);
        ::close(fd);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        error = "Is a directory";
        ::close(fd);
        return false;
    }
    m_Fd = fd;
    m_BlockDevice = S_ISBLK(info.st_mode);
    m_RegularFile = S_ISREG(info.st_mode);
    m_Identity = m_BlockDevice ? info.st_rdev : info.st_ino;
    m_Path = path;
    return true;
}

void CZelDeviceFile::Close()
{
    if (m_Fd >= 0)
        ::close(m_Fd);
    m_Fd = -1;
    m_BlockDevice = false;
    m_RegularFile = false;
    m_Path.clear();
}

int64_t CZelDeviceFile::ReadAt(uint64_t offset, void* destination, size_t count, int& error) const
{
    error = 0;
    if (m_Fd < 0) {
        error = EBADF;
        return 0;
    }
    char* out = static_cast<char*>(destination);
    size_t done = 0;
    while (done < count) {
        uint64_t position = offset + done;
        if (position > static_cast<uint64_t>(INT64_MAX))
            break;
        ssize_t got = ::pread(m_Fd, out + done, count - done, static_cast<off_t>(position));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            error = errno;
            break;
        }
        if (got == 0)
            break;
        done += static_cast<size_t>(got);
    }
    return static_cast<int64_t>(done);
}

bool CZelDeviceFile::StillNamed() const
{
    struct stat info;
    if (m_Fd < 0 || ::stat(m_Path.c_str(), &info) != 0)
        return false;
    return (m_BlockDevice ? info.st_rdev : info.st_ino) == m_Identity;
}

uint64_t CZelDeviceFile::Size() const
{
    if (m_Fd < 0)
        return 0;
    if (m_BlockDevice) {
        uint64_t bytes = 0;
        if (::ioctl(m_Fd, BLKGETSIZE64, &bytes) == 0)
            return bytes;
        return 0;
    }
    struct stat info;
    if (::fstat(m_Fd, &info) == 0 && S_ISREG(info.st_mode))
        return static_cast<uint64_t>(info.st_size);
    return 0;
}

uint32_t CZelDeviceFile::SectorSize() const
{
    if (m_Fd < 0)
        return 0;
    if (m_BlockDevice) {
        int bytes = 0;
        if (::ioctl(m_Fd, BLKSSZGET, &bytes) == 0 && bytes > 0)
            return static_cast<uint32_t>(bytes);
        return 0;
    }
    return m_RegularFile ? 512u : 0u;
}
