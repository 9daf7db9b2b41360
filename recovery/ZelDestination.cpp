#include "jexrecovery/ZelDestination.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>
#include <vector>

namespace {

// The longest file name the usual file systems take, in bytes.
constexpr size_t kMaxNameBytes = 255;

// Cuts text to at most bytes bytes without splitting a UTF-8 character.
std::string CutUtf8(const std::string& text, size_t bytes)
{
    if (text.size() <= bytes)
        return text;
    size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

// name split before its extension (the dot stays with the extension).
void SplitExtension(const std::string& name, std::string& stem, std::string& extension)
{
    size_t dot = name.find_last_of('.');
    bool has = dot != std::string::npos && dot != 0 && name.size() - dot <= 16;
    stem = has ? name.substr(0, dot) : name;
    extension = has ? name.substr(dot) : "";
}

// stem + suffix + extension within the name length limit, the stem cut
// as needed.
std::string Compose(const std::string& stem, const std::string& suffix, const std::string& extension)
{
    size_t room = kMaxNameBytes - suffix.size() - extension.size();
    return CutUtf8(stem, room) + suffix + extension;
}

} // namespace

std::string ZelSafeName(const std::string& name)
{
    std::string safe;
    for (unsigned char c : name)
        safe.push_back(c < 0x20 || c == 0x7F || c == '/' ? '_' : static_cast<char>(c));
    if (safe.empty() || safe == "." || safe == "..")
        safe = std::string(safe.size() + 1, '_');
    std::string stem, extension;
    SplitExtension(safe, stem, extension);
    return Compose(stem, "", extension);
}

std::string ZelNumberedName(const std::string& name, unsigned n)
{
    std::string stem, extension;
    SplitExtension(name, stem, extension);
    return Compose(stem, " (" + std::to_string(n) + ")", extension);
}

std::string ZelFreeName(const std::string& folder, const std::string& name,
                        const std::unordered_set<std::string>* reserved)
{
    std::error_code failed;
    auto held = [&](const std::string& candidate) {
        return reserved != nullptr && reserved->count((std::filesystem::path(folder) / candidate).string()) != 0;
    };
    if (!held(name) && !std::filesystem::exists(std::filesystem::path(folder) / name, failed) && !failed)
        return name;
    for (unsigned n = 1; n < 100000; ++n) {
        std::string candidate = ZelNumberedName(name, n);
        failed.clear();
        bool taken = held(candidate) || std::filesystem::exists(std::filesystem::path(folder) / candidate, failed);
        // A name the folder cannot even be asked about is given back; the
        // restore then reports why it cannot be written.
        if (!taken || failed)
            return candidate;
    }
    return name;
}

bool ZelFolderTakesColons(const std::string& folder)
{
    std::error_code failed;
    std::filesystem::path probe;
    do {
        probe = std::filesystem::path(folder) / (".jexfilerecovery-test:" + std::to_string(std::random_device()()));
    } while (std::filesystem::exists(probe, failed) && !failed);
    bool made = static_cast<bool>(std::ofstream(probe));
    if (made)
        std::filesystem::remove(probe, failed);
    return made;
}

std::string ZelDestinationFolder(const std::string& destination, const std::string& foundPath, bool flat)
{
    std::filesystem::path folder = destination;
    if (flat)
        return folder.string();
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= foundPath.size()) {
        size_t slash = foundPath.find('/', start);
        if (slash == std::string::npos)
            slash = foundPath.size();
        parts.push_back(foundPath.substr(start, slash - start));
        start = slash + 1;
    }
    // The first part is the volume's root name, the last the file's own.
    for (size_t i = 1; i + 1 < parts.size(); ++i)
        folder /= ZelSafeName(parts[i]);
    return folder.string();
}

std::string ZelRefuseDestination(const CZelVolumeCheck& volume, const std::string& destination)
{
    if (!volume.blockDevice || !ZelFolderOnDevice(destination, volume.device))
        return std::string();
    return destination + " lies on " + volume.device +
           ", the volume being searched: writing there can overwrite the very files being recovered. "
           "Choose a folder on another disk.";
}
