#include "jexplatform/VolumePath.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <system_error>
#include <vector>

namespace {

// mountinfo escapes blanks, tabs, newlines and backslashes as \ooo.
std::string UnescapeMountField(const std::string& field)
{
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out.push_back(static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(field[i]);
    }
    return out;
}

std::vector<std::string> SplitBlanks(const std::string& line)
{
    std::vector<std::string> fields;
    std::istringstream in(line);
    std::string field;
    while (in >> field)
        fields.push_back(field);
    return fields;
}

} // namespace

std::string ZelMountSourceFromMountInfo(const std::string& mountInfo, const std::string& mountPoint)
{
    // Fields: id parent major:minor root mount-point options [optional...] -
    // fstype source super-options. The last matching line is the mount on top.
    std::string source;
    std::istringstream lines(mountInfo);
    std::string line;
    while (std::getline(lines, line)) {
        std::vector<std::string> fields = SplitBlanks(line);
        if (fields.size() < 7 || UnescapeMountField(fields[4]) != mountPoint)
            continue;
        size_t dash = 6;
        while (dash < fields.size() && fields[dash] != "-")
            ++dash;
        if (dash + 2 >= fields.size())
            continue;
        std::string candidate = UnescapeMountField(fields[dash + 2]);
        source = candidate.rfind("/dev/", 0) == 0 ? candidate : std::string();
    }
    return source;
}

CZelVolumePath ZelResolveVolumePath(const std::string& volume)
{
    CZelVolumePath result;
    std::string path = volume;
    if (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty()) {
        result.error = "No volume was named";
        return result;
    }
    struct stat info;
    if (::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::error_code failed;
        std::filesystem::path canonical = std::filesystem::canonical(path, failed);
        std::ifstream in("/proc/self/mountinfo");
        std::stringstream text;
        text << in.rdbuf();
        std::string device = failed ? std::string() : ZelMountSourceFromMountInfo(text.str(), canonical.string());
        if (device.empty()) {
            result.error = "Not a device, an image file or the mount point of a device";
            return result;
        }
        result.device = device;
        return result;
    }
    result.device = path;
    return result;
}

std::string ZelRootName(const std::string& devicePath)
{
    size_t slash = devicePath.find_last_of('/');
    return slash == std::string::npos ? devicePath : devicePath.substr(slash + 1);
}
