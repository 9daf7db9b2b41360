// The file formats the signature search knows, one row each: what its
// start looks like, how large a file of it may be, and the decoder that
// follows its structure to the end. A format is one decoder file and one
// row in CarveFormats.cpp.
#pragma once

#include "carve/CarveStream.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

struct CZelCarveFormat {
    // The folder under "$Carved" and the extension a file gets unless its
    // content tells a closer one ("zip", then "docx").
    const char* type;
    // Bytes the signature check looks at; the start of a cluster or sector
    // always holds them.
    size_t signatureBytes;
    bool (*matches)(const uint8_t* bytes, size_t size);
    // The largest file of the format that is looked for.
    uint64_t bound;
    std::unique_ptr<CZelCarveStream> (*make)(uint64_t bound);
    // A format with no structure of its own (text) is looked for only
    // where no other file is being followed: inside one it is its content.
    bool alone = false;
};

const std::vector<CZelCarveFormat>& ZelCarveFormats();

// The decoders, by format family.
bool ZelMatchesJpeg(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMakeJpegStream(uint64_t bound);
bool ZelMatchesPng(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMakePngStream(uint64_t bound);
bool ZelMatchesGif(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMakeGifStream(uint64_t bound);
bool ZelMatchesBmp(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMakeBmpStream(uint64_t bound);
bool ZelMatchesRiff(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMakeRiffStream(uint64_t bound);
bool ZelMatchesIsoMedia(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMakeIsoMediaStream(uint64_t bound);
bool ZelMatchesPdf(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMakePdfStream(uint64_t bound);
bool ZelMatchesZip(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMakeZipStream(uint64_t bound);
bool ZelMatchesOgg(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMakeOggStream(uint64_t bound);
bool ZelMatchesMp3(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMakeMp3Stream(uint64_t bound);
bool ZelMatchesGzip(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMakeGzipStream(uint64_t bound);
bool ZelMatches7z(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMake7zStream(uint64_t bound);
bool ZelMatchesSqlite(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMakeSqliteStream(uint64_t bound);
bool ZelMatchesOle(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMakeOleStream(uint64_t bound);
bool ZelMatchesTiff(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMakeTiffStream(uint64_t bound);
bool ZelMatchesRtf(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMakeRtfStream(uint64_t bound);
bool ZelMatchesText(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMakeTextStream(uint64_t bound);
bool ZelMatchesFlac(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMakeFlacStream(uint64_t bound);
bool ZelMatchesPsd(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMakePsdStream(uint64_t bound);
bool ZelMatchesMpegPs(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMakeMpegPsStream(uint64_t bound);
bool ZelMatchesRar(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMakeRarStream(uint64_t bound);
bool ZelMatchesXcf(const uint8_t* bytes, size_t size);
std::unique_ptr<CZelCarveStream> ZelMakeXcfStream(uint64_t bound);
