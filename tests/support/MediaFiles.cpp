#include "support/MediaFiles.h"

#include <filesystem>

namespace jextest {

std::map<std::string, std::vector<uint8_t>> MakeMediaFiles(const TempDir& dir, std::string& reason)
{
    std::map<std::string, std::vector<uint8_t>> files;
    const std::string folder = dir.File("media");
    const int status = Run(Quote(JEX_MEDIA_SCRIPT) + " " + Quote(folder));
    if (status != 0) {
        reason = status == 77 ? "ImageMagick, ffmpeg and exiftool are needed to make the media files"
                              : "making the media files failed";
        return files;
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files[entry.path().filename().string()] = ReadFile(entry.path().string());
    return files;
}

} // namespace jextest
