#include "support/RescueCopy.h"

#include "support/TestImages.h"

#include <chrono>
#include <filesystem>
#include <thread>
#include <unistd.h>

namespace jextest {

namespace {

// Debian's fusepy is a module of the system's Python.
constexpr const char* kPython = "/usr/bin/python3";

} // namespace

std::string RescueCopyMissing()
{
    if (::geteuid() != 0)
        return "a FUSE mount of the failing disk needs root";
    if (::access("/dev/fuse", R_OK | W_OK) != 0)
        return "no /dev/fuse";
    if (Run("command -v ddrescue >/dev/null 2>&1") != 0)
        return "GNU ddrescue (gddrescue) is not installed";
    if (Run(std::string(kPython) + " -c 'import fusepy' >/dev/null 2>&1") != 0)
        return "python3-fusepy is not installed";
    return std::string();
}

bool RescueCopy(const std::string& image, const std::vector<std::pair<uint64_t, uint64_t>>& bad,
                const std::string& copy, const std::string& map)
{
    const std::string mount = copy + ".disk";
    std::filesystem::create_directories(mount);
    std::string ranges;
    for (const auto& range : bad)
        ranges += (ranges.empty() ? "" : ",") + std::to_string(range.first) + "-" + std::to_string(range.second);
    if (Run(std::string(kPython) + " " + Quote(JEX_FAILING_DISK_SCRIPT) + " " + Quote(image) + " " + Quote(mount) +
            " " + ranges + " >/dev/null 2>&1 &") != 0)
        return false;
    const std::string disk = mount + "/disk.img";
    for (int i = 0; i < 200 && !std::filesystem::exists(disk); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    bool copied = std::filesystem::exists(disk) &&
                  Run("ddrescue -q " + Quote(disk) + " " + Quote(copy) + " " + Quote(map) + " >/dev/null 2>&1") == 0;
    Run("umount " + Quote(mount) + " >/dev/null 2>&1");
    return copied;
}

} // namespace jextest
