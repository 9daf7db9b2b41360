// Ogg and MP3. Ogg: pages, each with its CRC, from the first page of a
// logical stream until every stream begun has ended. MP3: an optional ID3v2
// tag, then MPEG audio frames, each as long as its header says, to the
// first bytes that are no frame (an ID3v1 tag is the file's too).
#include "carve/CarveCrc.h"
#include "carve/CarveFormats.h"

#include "jexcommon/ByteOrder.h"

#include <array>
#include <cstring>
#include <set>

namespace {

// Logical streams followed at once in one file.
constexpr size_t kMaxStreams = 64;

class COggStream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override
    {
        m_Step = Step::Header;
        return Need(27);
    }

    Ask OnBytes(const uint8_t* bytes, size_t size) override
    {
        switch (m_Step) {
        case Step::Header: {
            if (std::memcmp(bytes, "OggS", 4) != 0 || bytes[4] != 0 || (m_Open.empty() && (bytes[5] & 0x02) == 0))
                return m_Pages != 0 && m_Open.empty() ? Done(true, 27) : Fail("a page without its capture pattern");
            std::memcpy(m_Header, bytes, 27);
            m_Step = Step::Segments;
            return Need(bytes[26] == 0 ? 1 : bytes[26]);
        }
        case Step::Segments: {
            const size_t count = m_Header[26];
            if (count == 0)
                return Fail("a page with no segments");
            uint8_t header[27];
            std::memcpy(header, m_Header, 27);
            std::memset(header + 22, 0, 4);
            m_Crc = CZelOggCrc::Of(CZelOggCrc::Of(0, header, 27), bytes, size);
            uint64_t body = 0;
            for (size_t i = 0; i < count; ++i)
                body += bytes[i];
            m_Step = Step::Body;
            m_First = true;
            return body == 0 ? OnBytes(nullptr, 0) : Skip(body);
        }
        case Step::Body:
            return Page();
        }
        return Fail("lost its place");
    }

    void OnSkipped(const uint8_t* bytes, size_t size) override
    {
        if (m_First && m_Pages == 0 && size >= 8) {
            if (std::memcmp(bytes, "OpusHead", 8) == 0)
                SetExtension("opus");
            else if (std::memcmp(bytes + 1, "theora", 6) == 0)
                SetExtension("ogv");
        }
        m_First = false;
        m_Crc = CZelOggCrc::Of(m_Crc, bytes, size);
    }

    Ask OnEnd() override
    {
        if (m_Step == Step::Header && m_Pages != 0 && m_Open.empty())
            return Done(true, Unfinished());
        return Ask();
    }

private:
    enum class Step { Header, Segments, Body };

    Ask Page()
    {
        if (m_Crc != ZelLE32(m_Header + 22))
            return Fail("the CRC of its page " + std::to_string(m_Pages) + " does not agree");
        const uint8_t flags = m_Header[5];
        const uint32_t serial = ZelLE32(m_Header + 14);
        if ((flags & 0x02) != 0) {
            if (m_Open.size() >= kMaxStreams)
                return Fail("too many logical streams");
            m_Open.insert(serial);
        } else if (m_Open.count(serial) == 0) {
            return m_Pages == 0 ? Fail("it does not begin with a stream's first page")
                                : Fail("a page of a stream that was not begun");
        }
        if ((flags & 0x04) != 0)
            m_Open.erase(serial);
        ++m_Pages;
        // Every stream begun has ended; a chained file begins new ones
        // with the next page, which the next header tells.
        m_Step = Step::Header;
        return Need(27);
    }

    Step m_Step = Step::Header;
    uint8_t m_Header[27] = {};
    uint32_t m_Crc = 0;
    uint64_t m_Pages = 0;
    bool m_First = false;
    std::set<uint32_t> m_Open;
};

// The length of the MPEG audio frame whose header is h, 0 for no frame.
uint32_t FrameLength(const uint8_t* h)
{
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0)
        return 0;
    const uint32_t version = (h[1] >> 3) & 3, layer = (h[1] >> 1) & 3;
    const uint32_t bitrateIndex = h[2] >> 4, rateIndex = (h[2] >> 2) & 3, padding = (h[2] >> 1) & 1;
    if (version == 1 || layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return 0;
    static const uint16_t kRates[3] = {44100, 48000, 32000};
    uint32_t rate = kRates[rateIndex];
    if (version == 2)
        rate /= 2; // MPEG-2
    else if (version == 0)
        rate /= 4; // MPEG-2.5
    const bool mpeg1 = version == 3;
    static const uint16_t kV1L1[] = {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448};
    static const uint16_t kV1L2[] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};
    static const uint16_t kV1L3[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
    static const uint16_t kV2L1[] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256};
    static const uint16_t kV2L23[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
    uint32_t kbps = 0;
    if (layer == 3) // layer I
        kbps = mpeg1 ? kV1L1[bitrateIndex] : kV2L1[bitrateIndex];
    else if (layer == 2) // layer II
        kbps = mpeg1 ? kV1L2[bitrateIndex] : kV2L23[bitrateIndex];
    else // layer III
        kbps = mpeg1 ? kV1L3[bitrateIndex] : kV2L23[bitrateIndex];
    if (layer == 3)
        return (12 * kbps * 1000 / rate + padding) * 4;
    const uint32_t perSample = (layer == 1 && !mpeg1) ? 72 : 144;
    return perSample * kbps * 1000 / rate + padding;
}

// Frames in a row that make a file without an ID3 tag.
constexpr uint64_t kMinFrames = 16;

class CMp3Stream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override
    {
        m_Step = Step::Start;
        return Need(10);
    }

    Ask OnBytes(const uint8_t* bytes, size_t size) override
    {
        switch (m_Step) {
        case Step::Start:
            if (std::memcmp(bytes, "ID3", 3) == 0) {
                if (bytes[3] < 2 || bytes[3] > 4 || (bytes[6] | bytes[7] | bytes[8] | bytes[9]) & 0x80)
                    return Fail("an ID3 tag that does not hold together");
                m_Tagged = true;
                const uint64_t length = (static_cast<uint64_t>(bytes[6]) << 21) | (bytes[7] << 14) | (bytes[8] << 7) | bytes[9];
                m_Step = Step::Tag;
                return Skip(length + ((bytes[5] & 0x10) ? 10 : 0));
            }
            // No tag: these are the first frame's bytes.
            return Frame(bytes, size);
        case Step::Tag:
            m_Step = Step::Frame;
            return Need(4);
        case Step::Frame:
            return Frame(bytes, size);
        case Step::Body:
            m_Step = Step::Frame;
            return Need(4);
        case Step::Trailer:
            return Done(true);
        }
        return Fail("lost its place");
    }

    Ask OnEnd() override
    {
        // The bytes stopped where a frame could have followed: the file may
        // go on past the cluster in use, so its end is a guess.
        if (m_Step == Step::Frame && Enough())
            return Done(false, Unfinished());
        return Ask();
    }

private:
    enum class Step { Start, Tag, Frame, Body, Trailer };

    bool Enough() const { return m_Frames >= (m_Tagged ? 1 : kMinFrames); }

    Ask Frame(const uint8_t* bytes, size_t size)
    {
        const uint32_t length = size >= 4 ? FrameLength(bytes) : 0;
        if (length < size) {
            if (Enough() && std::memcmp(bytes, "TAG", 3) == 0) {
                // An ID3v1 tag: 128 bytes, the last of the file.
                m_Step = Step::Trailer;
                return Skip(128 - size);
            }
            if (Enough())
                return Done(true, size);
            return Fail(m_Frames == 0 ? "no MPEG audio frame" : "too few MPEG audio frames");
        }
        ++m_Frames;
        m_Step = Step::Body;
        return Skip(length - size);
    }

    Step m_Step = Step::Start;
    bool m_Tagged = false;
    uint64_t m_Frames = 0;
};

} // namespace

bool ZelMatchesOgg(const uint8_t* bytes, size_t size)
{
    // The first page of a stream: version 0, "beginning of stream" alone.
    return size >= 28 && std::memcmp(bytes, "OggS", 4) == 0 && bytes[4] == 0 && bytes[5] == 0x02 && bytes[26] != 0;
}

std::unique_ptr<CZelCarveStream> ZelMakeOggStream(uint64_t bound)
{
    return std::make_unique<COggStream>(bound);
}

bool ZelMatchesMp3(const uint8_t* bytes, size_t size)
{
    if (size < 10)
        return false;
    if (std::memcmp(bytes, "ID3", 3) == 0)
        return bytes[3] >= 2 && bytes[3] <= 4 && ((bytes[6] | bytes[7] | bytes[8] | bytes[9]) & 0x80) == 0;
    // A layer III frame whose next frame follows where it says.
    const uint32_t length = FrameLength(bytes);
    return length >= 4 && ((bytes[1] >> 1) & 3) == 1;
}

std::unique_ptr<CZelCarveStream> ZelMakeMp3Stream(uint64_t bound)
{
    return std::make_unique<CMp3Stream>(bound);
}
