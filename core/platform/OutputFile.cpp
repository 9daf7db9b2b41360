#include "jexplatform/OutputFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A flush failure tests ask for; 0 for none.
std::atomic<int> g_FlushFailure{0};

std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// Renames from to to unless to exists: renameat2 where the file system
// takes it, else a hard link; a file system with neither gets the final
// name reserved by a new empty file of its own, which the rename replaces.
int RenameWithoutReplacing(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP)
        return errno;
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != ENOSYS)
        return errno;
    int reserved = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (reserved < 0)
        return errno;
    ::close(reserved);
    if (::rename(from.c_str(), to.c_str()) == 0)
        return 0;
    int error = errno;
    ::unlink(to.c_str());
    return error;
}

} // namespace

CZelOutputFile::~CZelOutputFile()
{
    Discard();
}

bool CZelOutputFile::Fail(const std::string& path, int error)
{
    m_Error = path + ": " + std::strerror(error);
    return false;
}

bool CZelOutputFile::Create(const std::string& destination, mode_t mode, bool nameChecked)
{
    Discard();
    m_Error.clear();
    struct stat info;
    if (!nameChecked && ::lstat(destination.c_str(), &info) == 0)
        return Fail(destination, EEXIST);
    if (!nameChecked && errno != ENOENT)
        return Fail(destination, errno);
    std::string folder = FolderOf(destination);
    // A file without a name where the file system has them: nothing is left
    // behind should the program end before the copy does. It gets its name
    // through /proc/self/fd.
    static const bool unnamedFiles = ::access("/proc/self/fd", X_OK) == 0;
    m_Position = m_Written = 0;
    if (m_UnnamedFirst && unnamedFiles) {
        int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
        if (fd >= 0) {
            m_Fd = fd;
            m_Destination = destination;
            return true;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT)
            return Fail(destination, errno);
    }
    // Else a short hidden name of its own in the destination's folder: the
    // final name may already be as long as names can be.
    std::random_device seed;
    std::mt19937_64 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, "/.jexrecover-%016llx.part", static_cast<unsigned long long>(random()));
        std::string temporary = folder + name;
        int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0) {
            m_Fd = fd;
            m_Temporary = temporary;
            m_Destination = destination;
            return true;
        }
        if (errno != EEXIST)
            return Fail(destination, errno);
    }
    return Fail(destination, EEXIST);
}

bool CZelOutputFile::Write(const void* data, size_t length)
{
    if (m_Fd < 0)
        return Fail(m_Destination, EBADF);
    const char* bytes = static_cast<const char*>(data);
    // Written where the file has got to: a gap skipped before needs no seek.
    while (length > 0) {
        if (m_Position > static_cast<uint64_t>(INT64_MAX) - length)
            return Fail(m_Destination, EFBIG);
        ssize_t written = ::pwrite(m_Fd, bytes, length, static_cast<off_t>(m_Position));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return Fail(m_Destination, errno);
        }
        if (written == 0)
            return Fail(m_Destination, ENOSPC);
        bytes += written;
        length -= static_cast<size_t>(written);
        m_Position += static_cast<uint64_t>(written);
    }
    m_Written = m_Position;
    return true;
}

bool CZelOutputFile::Skip(uint64_t count)
{
    if (m_Fd < 0)
        return Fail(m_Destination, EBADF);
    if (count > static_cast<uint64_t>(INT64_MAX) - m_Position)
        return Fail(m_Destination, EFBIG);
    m_Position += count;
    return true;
}

void CZelOutputFile::SetTimes(const timespec& modified)
{
    m_Times[0] = m_Times[1] = modified;
    m_HasTimes = true;
}

bool CZelOutputFile::Commit()
{
    return Finish() && Publish();
}

bool CZelOutputFile::Finish()
{
    if (m_Fd < 0)
        return Fail(m_Destination, EBADF);
    // Zeros skipped at the end: the file gets its full length.
    if (m_Position > m_Written && ::ftruncate(m_Fd, static_cast<off_t>(m_Position)) != 0) {
        int error = errno;
        Discard();
        return Fail(m_Destination, error);
    }
    // The times go last: giving the file its length changes them. A file
    // system that cannot take them still gets the data.
    if (m_HasTimes)
        ::futimens(m_Fd, m_Times);
    return true;
}

void CZelOutputFile::FlushFileSystem() const
{
    if (m_Fd >= 0)
        ::syncfs(m_Fd);
}

void CZelOutputFile::FailFlushesForTests(int error)
{
    g_FlushFailure = error;
}

bool CZelOutputFile::Publish(const std::function<std::string(unsigned)>& otherName)
{
    if (m_Fd < 0)
        return Fail(m_Destination, EBADF);
    int error = 0;
    // A write that fails on its way to the disk says so only here.
    if (g_FlushFailure != 0)
        error = g_FlushFailure;
    else if (::fdatasync(m_Fd) != 0 && errno != EINVAL && errno != EROFS)
        error = errno;
    if (error == 0 && m_Temporary.empty()) {
        // The unnamed file is given its name; a name taken is not replaced,
        // but another is tried where the caller gives one (a folder that
        // folds case takes "a.txt" for "A.TXT").
        std::string self = "/proc/self/fd/" + std::to_string(m_Fd);
        for (unsigned attempt = 1;; ++attempt) {
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, m_Destination.c_str(), AT_SYMLINK_FOLLOW) == 0)
                break;
            error = errno;
            if (error != EEXIST || !otherName || attempt >= kOtherNames)
                break;
            error = 0;
            m_Destination = otherName(attempt);
        }
    }
    int fd = m_Fd;
    m_Fd = -1;
    // Some file systems tell of a failed write only when the file closes.
    if (::close(fd) != 0 && error == 0) {
        error = errno;
        if (m_Temporary.empty())
            ::unlink(m_Destination.c_str());
    }
    for (unsigned attempt = 1; error == 0 && !m_Temporary.empty(); ++attempt) {
        error = RenameWithoutReplacing(m_Temporary, m_Destination);
        if (error != EEXIST || !otherName || attempt >= kOtherNames)
            break;
        error = 0;
        m_Destination = otherName(attempt);
    }
    if (error != 0) {
        Discard();
        return Fail(m_Destination, error);
    }
    m_Temporary.clear();
    return true;
}

void CZelOutputFile::Discard()
{
    if (m_Fd >= 0)
        ::close(m_Fd);
    m_Fd = -1;
    if (!m_Temporary.empty())
        ::unlink(m_Temporary.c_str());
    m_Temporary.clear();
    m_HasTimes = false;
}
