#include "jexplatform/DeviceFile.h"

#include "jexplatform/DeviceGrants.h"
#include "jexplatform/PartitionTable.h"
#include "jexplatform/RescueMap.h"

#include <algorithm>
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
    // A device the helper opened for us is taken as it was handed over.
    int fd = ZelOpenGranted(path);
    if (fd < 0)
        fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    // "IMAGE@pN": partition N of IMAGE, unless a file of that name exists.
    std::string image;
    int number = 0;
    if (fd < 0 && errno == ENOENT && ZelSplitPartitionText(path, image, number))
        return OpenPartition(path, image, number, error);
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
    if (m_RegularFile) {
        // A copy GNU ddrescue left short ends where its map does: what lies
        // between was not read.
        m_pMap = ZelRescueMapFor(info.st_dev, info.st_ino);
        m_MapEnd = std::max<uint64_t>(static_cast<uint64_t>(info.st_size), m_pMap ? m_pMap->Described() : 0);
    }
    m_Path = path;
    m_File = path;
    return true;
}

bool CZelDeviceFile::OpenPartition(const std::string& path, const std::string& image, int number, std::string& error)
{
    if (!Open(image, error))
        return false;
    std::string table;
    for (const CZelPartition& partition : ZelListPartitions(m_Fd, Size(), table)) {
        if (partition.number != number || partition.extended)
            continue;
        m_Windowed = true;
        m_Offset = partition.offset;
        // Where the image or device ends first, the table's list has cut it.
        m_Length = partition.length;
        m_Path = path;
        return true;
    }
    error = table.empty() ? "holds no partition table" : "has no partition " + std::to_string(number);
    Close();
    return false;
}

void CZelDeviceFile::Close()
{
    if (m_Fd >= 0)
        ::close(m_Fd);
    m_Fd = -1;
    m_BlockDevice = false;
    m_RegularFile = false;
    m_Path.clear();
    m_File.clear();
    m_Windowed = false;
    m_Offset = m_Length = 0;
    m_pMap.reset();
    m_MapEnd = 0;
}

int64_t CZelDeviceFile::ReadAt(uint64_t offset, void* destination, size_t count, int& error) const
{
    error = 0;
    if (m_Fd < 0) {
        error = EBADF;
        return 0;
    }
    // A partition's reads stay inside its window.
    if (m_Windowed) {
        if (offset >= m_Length)
            return 0;
        count = static_cast<size_t>(std::min<uint64_t>(count, m_Length - offset));
        offset += m_Offset;
    }
    // What the map says was not read fails as an unreadable sector does,
    // from its first byte; past the file's end the file ends as usual.
    bool unread = false;
    if (m_pMap) {
        const uint64_t good = m_pMap->Readable(offset, count);
        if (good < count && offset + good < m_MapEnd) {
            count = static_cast<size_t>(good);
            unread = true;
        }
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
    if (unread && done == count && error == 0)
        error = EIO;
    return static_cast<int64_t>(done);
}

void CZelDeviceFile::WillRead(uint64_t offset, uint64_t count) const
{
    if (m_Fd < 0 || count == 0)
        return;
    if (m_Windowed) {
        if (offset >= m_Length)
            return;
        count = std::min<uint64_t>(count, m_Length - offset);
        offset += m_Offset;
    }
    if (offset > static_cast<uint64_t>(INT64_MAX) || count > static_cast<uint64_t>(INT64_MAX))
        return;
    // Only advice: a system that ignores it reads when asked.
    (void)::posix_fadvise(m_Fd, static_cast<off_t>(offset), static_cast<off_t>(count), POSIX_FADV_WILLNEED);
}

bool CZelDeviceFile::StillNamed() const
{
    struct stat info;
    if (m_Fd < 0 || ::stat(m_File.c_str(), &info) != 0)
        return false;
    return (m_BlockDevice ? info.st_rdev : info.st_ino) == m_Identity;
}

uint64_t CZelDeviceFile::Size() const
{
    if (m_Fd < 0)
        return 0;
    return m_Windowed ? m_Length : WholeSize();
}

uint64_t CZelDeviceFile::WholeSize() const
{
    if (m_BlockDevice) {
        uint64_t bytes = 0;
        if (::ioctl(m_Fd, BLKGETSIZE64, &bytes) == 0)
            return bytes;
        return 0;
    }
    struct stat info;
    if (::fstat(m_Fd, &info) == 0 && S_ISREG(info.st_mode))
        return std::max<uint64_t>(static_cast<uint64_t>(info.st_size), m_pMap ? m_pMap->Described() : 0);
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
