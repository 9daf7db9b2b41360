// libFuzzer target: the signature search's decoders. The input is handed to
// every format's decoder as a file's start, in pieces, and to the search
// itself as a volume of 512-byte sectors. A decoder must end within what
// it was given, and no file found may reach past the volume.
#include "carve/CarveFormats.h"
#include "carve/Carver.h"

#include <cstdio>
#include <cstdlib>

namespace {

void Check(bool holds, const char* what)
{
    if (!holds) {
        std::fprintf(stderr, "jexfuzz: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Pieces of uneven lengths, as a pass hands them over.
    const size_t piece = size == 0 ? 1 : 1 + data[0] % 1024;
    for (const CZelCarveFormat& format : ZelCarveFormats()) {
        // A bound below the input's size: no length read from it may pass it.
        const uint64_t bound = size / 2 + 1;
        std::unique_ptr<CZelCarveStream> stream = format.make(bound);
        size_t at = 0;
        while (at < size && stream->State() == CarveState::Going) {
            size_t used = 0;
            const size_t length = std::min(piece, size - at);
            stream->Take(data + at, length, used);
            Check(used <= length, "a decoder took more than it was given");
            at += length;
        }
        stream->End();
        Check(stream->State() != CarveState::Going, "a decoder did not end");
        Check(stream->Taken() <= size, "a file longer than its bytes");
        Check(stream->Taken() <= bound || stream->State() == CarveState::Failed, "a file past its bound");
    }
    CZelCarver carver(512, 0);
    for (size_t at = 0; at < size; at += piece * 4)
        carver.Feed(at, data + at, std::min(piece * 4, size - at));
    carver.Finish();
    carver.Settle({{size / 2, size / 2 + 512}});
    for (const CZelCarvedFile& file : carver.Files())
        Check(file.offset + file.length <= size && file.length != 0, "a carved file reaches past the volume");
    return 0;
}
