// GIF and BMP. GIF: the header and colour table, then blocks (image
// descriptors and extensions, each with its chain of sub-blocks) to the
// trailer. BMP: its headers, whose sizes must agree with each other and
// with the pixels they describe; the file's size is the header's.
#include "carve/CarveFormats.h"

#include "jexcommon/ByteOrder.h"

#include <cstring>

namespace {

class CGifStream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override
    {
        m_Step = Step::Header;
        return Need(13);
    }

    Ask OnBytes(const uint8_t* bytes, size_t size) override
    {
        // A colour table or a sub-block passed over: the next byte says
        // what follows.
        if (bytes == nullptr) {
            if (m_Step == Step::SubData)
                m_Step = Step::SubBlock;
            return Need(1);
        }
        switch (m_Step) {
        case Step::Header:
            if (size != 13 || !ZelMatchesGif(bytes, size))
                return Fail("no GIF header");
            m_Step = Step::Block;
            return ColourTable(bytes[10]);
        case Step::Block:
            if (bytes[0] == 0x3B)
                return m_Images != 0 ? Done(true) : Fail("it ends before any image");
            if (bytes[0] == 0x2C) {
                m_Step = Step::Descriptor;
                return Need(9);
            }
            if (bytes[0] == 0x21) {
                m_Step = Step::Label;
                return Need(1);
            }
            return Fail("a block of unknown type");
        case Step::Descriptor:
            ++m_Images;
            m_Step = Step::CodeSize;
            return ColourTable(bytes[8]);
        case Step::CodeSize:
            if (bytes[0] < 2 || bytes[0] > 12)
                return Fail("an image with an impossible code size");
            m_Step = Step::SubBlock;
            return Need(1);
        case Step::Label:
            m_Step = Step::SubBlock;
            return Need(1);
        case Step::SubBlock:
            if (bytes[0] == 0) {
                m_Step = Step::Block;
                return Need(1);
            }
            m_Step = Step::SubData;
            return Skip(bytes[0]);
        case Step::SubData:
            break;
        }
        return Fail("lost its place");
    }

private:
    enum class Step { Header, Block, Descriptor, CodeSize, Label, SubBlock, SubData };

    // A colour table follows where the flags say so; then the next step's
    // first byte.
    Ask ColourTable(uint8_t flags)
    {
        if ((flags & 0x80) == 0)
            return Need(1);
        return Skip(3u << ((flags & 7) + 1));
    }

    Step m_Step = Step::Header;
    uint64_t m_Images = 0;
};

class CBmpStream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override { return Need(30); }

    Ask OnBytes(const uint8_t* bytes, size_t size) override
    {
        if (bytes == nullptr)
            return Done(true);
        if (size != 30 || !ZelMatchesBmp(bytes, size))
            return Fail("no BMP header");
        const uint32_t fileSize = ZelLE32(bytes + 2), pixels = ZelLE32(bytes + 10), header = ZelLE32(bytes + 14);
        const int64_t width = static_cast<int32_t>(ZelLE32(bytes + 18));
        int64_t height = static_cast<int32_t>(ZelLE32(bytes + 22));
        const uint32_t bits = ZelLE16(bytes + 28);
        height = height < 0 ? -height : height;
        if (header == 12) // the old core header: 16-bit sizes
            return Fail("an OS/2 bitmap");
        if (width <= 0 || height <= 0 || width > 1000000 || height > 1000000 || pixels < 14 + header || pixels > fileSize)
            return Fail("its headers do not agree");
        // Uncompressed rows are padded to four bytes; compressed pixels
        // are no larger than that.
        const uint64_t rows = ((static_cast<uint64_t>(width) * bits + 31) / 32) * 4 * static_cast<uint64_t>(height);
        if (fileSize < 30 || fileSize - pixels > rows + 4)
            return Fail("its size does not agree with its pixels");
        return Skip(fileSize - 30);
    }
};

} // namespace

bool ZelMatchesGif(const uint8_t* bytes, size_t size)
{
    return size >= 13 && (std::memcmp(bytes, "GIF87a", 6) == 0 || std::memcmp(bytes, "GIF89a", 6) == 0) &&
           (ZelLE16(bytes + 6) != 0 && ZelLE16(bytes + 8) != 0);
}

std::unique_ptr<CZelCarveStream> ZelMakeGifStream(uint64_t bound)
{
    return std::make_unique<CGifStream>(bound);
}

bool ZelMatchesBmp(const uint8_t* bytes, size_t size)
{
    if (size < 30 || bytes[0] != 'B' || bytes[1] != 'M' || ZelLE32(bytes + 6) != 0)
        return false;
    const uint32_t header = ZelLE32(bytes + 14), planes = ZelLE16(bytes + 26), bits = ZelLE16(bytes + 28);
    return (header == 40 || header == 52 || header == 56 || header == 108 || header == 124) && planes == 1 &&
           (bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32);
}

std::unique_ptr<CZelCarveStream> ZelMakeBmpStream(uint64_t bound)
{
    return std::make_unique<CBmpStream>(bound);
}
