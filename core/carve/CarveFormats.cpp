#include "carve/CarveFormats.h"

namespace {
constexpr uint64_t kMiB = uint64_t(1) << 20;
constexpr uint64_t kGiB = uint64_t(1) << 30;
} // namespace

const std::vector<CZelCarveFormat>& ZelCarveFormats()
{
    static const std::vector<CZelCarveFormat> formats = {
        {"jpg", 4, ZelMatchesJpeg, 256 * kMiB, ZelMakeJpegStream},
        {"png", 16, ZelMatchesPng, 256 * kMiB, ZelMakePngStream},
        {"gif", 13, ZelMatchesGif, 64 * kMiB, ZelMakeGifStream},
        {"bmp", 30, ZelMatchesBmp, 256 * kMiB, ZelMakeBmpStream},
        {"riff", 12, ZelMatchesRiff, 4 * kGiB, ZelMakeRiffStream},
        {"mp4", 16, ZelMatchesIsoMedia, 64 * kGiB, ZelMakeIsoMediaStream},
        {"pdf", 8, ZelMatchesPdf, kGiB, ZelMakePdfStream},
        {"zip", 30, ZelMatchesZip, 4 * kGiB, ZelMakeZipStream},
        {"ogg", 28, ZelMatchesOgg, kGiB, ZelMakeOggStream},
        {"mp3", 10, ZelMatchesMp3, kGiB, ZelMakeMp3Stream},
        {"tif", 8, ZelMatchesTiff, 4 * kGiB, ZelMakeTiffStream},
        {"doc", 512, ZelMatchesOle, 4 * kGiB, ZelMakeOleStream},
        {"gz", 10, ZelMatchesGzip, 16 * kGiB, ZelMakeGzipStream},
        {"7z", 32, ZelMatches7z, 64 * kGiB, ZelMake7zStream},
        {"sqlite", 100, ZelMatchesSqlite, 16 * kGiB, ZelMakeSqliteStream},
        {"rtf", 6, ZelMatchesRtf, 256 * kMiB, ZelMakeRtfStream},
        {"flac", 8, ZelMatchesFlac, 4 * kGiB, ZelMakeFlacStream},
        {"psd", 26, ZelMatchesPsd, 4 * kGiB, ZelMakePsdStream},
        {"xcf", 26, ZelMatchesXcf, 4 * kGiB, ZelMakeXcfStream},
        {"mpg", 14, ZelMatchesMpegPs, 64 * kGiB, ZelMakeMpegPsStream},
        {"rar", 8, ZelMatchesRar, 64 * kGiB, ZelMakeRarStream},
        // Last: whatever no other format claims.
        {"txt", 64, ZelMatchesText, 64 * kMiB, ZelMakeTextStream, true},
    };
    return formats;
}
