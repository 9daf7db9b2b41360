#include "jexplatform/DeviceHelper.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The helper's answer: its line, and the descriptor that came with it (-1
// without one).
int Receive(int socket, std::string& line)
{
    char text[4096];
    struct iovec part;
    part.iov_base = text;
    part.iov_len = sizeof text - 1;
    struct msghdr message;
    std::memset(&message, 0, sizeof message);
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    alignas(struct cmsghdr) char control[CMSG_SPACE(sizeof(int) * 4)];
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    ssize_t got;
    do
        got = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC);
    while (got < 0 && errno == EINTR);
    if (got <= 0)
        return -1;
    line.assign(text, static_cast<size_t>(got));
    int fd = -1;
    for (struct cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level != SOL_SOCKET || header->cmsg_type != SCM_RIGHTS)
            continue;
        const size_t count = (header->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (size_t i = 0; i < count; ++i) {
            int passed = -1;
            std::memcpy(&passed, CMSG_DATA(header) + i * sizeof(int), sizeof(int));
            // One descriptor is taken; any more are not wanted.
            if (fd < 0)
                fd = passed;
            else
                ::close(passed);
        }
    }
    return fd;
}

} // namespace

int ZelOpenThroughHelper(const std::vector<std::string>& command, const std::string& device, std::string& error)
{
    if (command.empty()) {
        error = "no helper to open devices";
        return -1;
    }
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        error = std::strerror(errno);
        return -1;
    }
    std::vector<std::string> words = command;
    words.push_back(device);
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(&word[0]);
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        error = std::strerror(errno);
        ::close(pair[0]);
        ::close(pair[1]);
        return -1;
    }
    if (child == 0) {
        // The socket becomes standard output (pkexec keeps only the first
        // three descriptors); nothing else of ours goes along.
        if (::dup2(pair[1], STDOUT_FILENO) < 0)
            ::_exit(127);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pair[1]);
    std::string line;
    int fd = Receive(pair[0], line);
    ::close(pair[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    if (fd >= 0 && line == "ok") {
        // Only ever a block device, whatever the other side claims.
        struct stat info;
        if (::fstat(fd, &info) == 0 && S_ISBLK(info.st_mode))
            return fd;
        ::close(fd);
        error = device + ": the helper handed over something that is not a block device";
        return -1;
    }
    if (fd >= 0)
        ::close(fd);
    if (line.rfind("error: ", 0) == 0)
        error = line.substr(7);
    else if (WIFEXITED(status) && WEXITSTATUS(status) == 126)
        // pkexec's answer when the password dialog was dismissed.
        error = device + ": the rights to read it were not given";
    else
        error = device + ": " + words.front() + " handed over no descriptor (" +
                (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                   : std::string("ended by a signal")) +
                ")";
    return -1;
}
