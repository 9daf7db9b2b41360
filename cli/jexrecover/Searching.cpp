#include "Searching.h"

#include "Listing.h"

#include <chrono>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

std::atomic<bool> g_Interrupted{false};

void OnInterrupt(int)
{
    g_Interrupted = true;
}

// While it lives, Ctrl-C asks the search to stop instead of ending the
// program; a second Ctrl-C ends it as usual.
class CInterruptAsStop {
public:
    CInterruptAsStop()
    {
        g_Interrupted = false;
        struct sigaction action = {};
        action.sa_handler = &OnInterrupt;
        action.sa_flags = SA_RESETHAND;
        sigemptyset(&action.sa_mask);
        m_Installed = sigaction(SIGINT, &action, &m_Before) == 0;
    }
    ~CInterruptAsStop()
    {
        if (m_Installed)
            sigaction(SIGINT, &m_Before, nullptr);
    }
    CInterruptAsStop(const CInterruptAsStop&) = delete;
    CInterruptAsStop& operator=(const CInterruptAsStop&) = delete;

private:
    struct sigaction m_Before = {};
    bool m_Installed = false;
};

// "12 s", "3 min", "2 h 5 min".
std::string Duration(double seconds)
{
    const long s = static_cast<long>(seconds + 0.5);
    if (s < 60)
        return std::to_string(s) + " s";
    if (s < 3600)
        return std::to_string((s + 30) / 60) + " min";
    return std::to_string(s / 3600) + " h " + std::to_string((s % 3600) / 60) + " min";
}

} // namespace

bool ZelShowProgress(const CRecoverOptions& options)
{
    return !options.quiet && ::isatty(STDERR_FILENO);
}

bool ZelRunSearch(const CRecoverOptions& options, CZelRecoveryScan& scan, std::string& error)
{
    scan.SetDeep(options.deep);
    scan.SetStreams(options.streams);
    if (!scan.Prepare(options.volume, error))
        return false;
    const bool show = ZelShowProgress(options);
    const std::string volume = ZelPrintable(options.volume);
    CInterruptAsStop interrupt;
    int shown = -1;
    long shownLeft = -1;
    bool stopping = false;
    const auto started = std::chrono::steady_clock::now();
    bool ok = scan.SearchShowingProgress(boost::shared_ptr<CZelCheckFile>(), error, [&](double progress) {
        if (g_Interrupted && !stopping) {
            stopping = true;
            scan.Stop();
        }
        if (!show)
            return;
        const int percent = static_cast<int>(progress * 100.0);
        // The time left, once there is enough of the search to tell by.
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::string left;
        if (progress >= 0.02 && progress < 1.0 && elapsed >= 2.0)
            left = ", about " + Duration(elapsed * (1.0 - progress) / progress) + " left";
        const long leftKey = static_cast<long>(left.size()) * 1000 + static_cast<long>(elapsed);
        if (percent == shown && leftKey == shownLeft)
            return;
        shown = percent;
        shownLeft = leftKey;
        std::fprintf(stderr, "\r\033[K%s %s: %3d%%%s%s", options.deep ? "Deep search of" : "Searching", volume.c_str(),
                     percent, left.c_str(), stopping ? " (stopping)" : "");
        std::fflush(stderr);
    });
    if (show && shown >= 0)
        std::fprintf(stderr, "\r\033[K");
    if (ok && !scan.Notice().empty() && !options.quiet)
        std::fprintf(stderr, "jexrecover: %s\n", ZelPrintable(scan.Notice()).c_str());
    if (ok && scan.Stopped() && !options.quiet)
        std::fprintf(stderr, "%s: the search was stopped; what it found so far is kept\n", volume.c_str());
    return ok;
}
