// jexfilerecovery-open DEVICE
//
// The one thing the recovery window needs rights for: a block device opened
// for reading. Run through pkexec, it opens DEVICE read-only, makes sure
// that what it opened is a block device (asking the open descriptor, so a
// path changed between a look and the open cannot fool it), and hands the
// descriptor to its caller over the Unix socket that is its standard output,
// with the line "ok". Anything else is refused with the line "error: " and
// the reason, and nothing is handed over. It never writes to the device and
// never opens it for writing.
//
// Exit status: 0 handed over, 1 refused, 2 no socket to answer on or bad
// usage.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

// Sends line, and fd when it is open, over the socket on standard output.
bool Answer(const std::string& line, int fd)
{
    struct iovec part;
    part.iov_base = const_cast<char*>(line.data());
    part.iov_len = line.size();
    struct msghdr message;
    std::memset(&message, 0, sizeof message);
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(struct cmsghdr) char control[CMSG_SPACE(sizeof(int))];
    if (fd >= 0) {
        std::memset(control, 0, sizeof control);
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        struct cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &fd, sizeof(int));
    }
    ssize_t sent;
    do
        sent = ::sendmsg(STDOUT_FILENO, &message, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(line.size());
}

int Refuse(const std::string& path, const std::string& reason)
{
    std::fprintf(stderr, "jexfilerecovery-open: %s: %s\n", path.c_str(), reason.c_str());
    return Answer("error: " + path + ": " + reason + "\n", -1) ? 1 : 2;
}

} // namespace

int main(int argc, char** argv)
{
    // The answer goes over a socket, never to a terminal or a file.
    struct stat out;
    if (::fstat(STDOUT_FILENO, &out) != 0 || !S_ISSOCK(out.st_mode)) {
        std::fprintf(stderr, "jexfilerecovery-open: its standard output must be a Unix socket\n");
        return 2;
    }
    if (argc != 2 || argv[1][0] != '/')
        return Refuse(argc >= 2 ? argv[1] : "", "give one device path, from the root");
    const std::string path = argv[1];
    // Opening a device node for reading changes nothing on it; O_NONBLOCK
    // keeps a FIFO put in its place from holding us up, O_NOCTTY a terminal.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return Refuse(path, std::strerror(errno));
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        int error = errno;
        ::close(fd);
        return Refuse(path, std::strerror(error));
    }
    if (!S_ISBLK(info.st_mode)) {
        ::close(fd);
        const char* what = S_ISREG(info.st_mode)   ? "a regular file"
                           : S_ISDIR(info.st_mode) ? "a directory"
                           : S_ISCHR(info.st_mode) ? "a character device"
                                                   : "not a block device";
        return Refuse(path, std::string("is ") + what + ", not a block device");
    }
    // Reads wait for the device as usual.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    bool handed = Answer("ok\n", fd);
    ::close(fd);
    return handed ? 0 : 2;
}
