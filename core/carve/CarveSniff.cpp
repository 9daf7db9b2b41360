#include "carve/CarveSniff.h"

#include "carve/CarveFormats.h"

std::string ZelSniffExtension(const uint8_t* bytes, size_t size)
{
    if (bytes == nullptr)
        return std::string();
    for (const CZelCarveFormat& format : ZelCarveFormats()) {
        if (size < format.signatureBytes || !format.matches(bytes, size))
            continue;
        // The decoder sees what there is: its content may name the kind
        // more closely before the bytes run out.
        std::unique_ptr<CZelCarveStream> stream = format.make(format.bound);
        size_t used = 0;
        stream->Take(bytes, size, used);
        if (stream->State() == CarveState::Failed)
            continue;
        return stream->Extension().empty() ? format.type : stream->Extension();
    }
    return std::string();
}
