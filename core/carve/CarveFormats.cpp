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
    };
    return formats;
}
