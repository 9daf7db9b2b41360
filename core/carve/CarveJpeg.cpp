// JPEG: the marker segments from SOI, each with its length (an EXIF
// thumbnail lies inside APP1 and is passed over whole), then the
// entropy-coded data of each scan, in which only stuffed FF 00, fill bytes
// and restart markers in their order may follow an FF, to EOI. A camera's
// JPEG may hold more images after its own (a large preview), which its MPF
// segment (APP2) lists with their places and sizes: the file ends after the
// last of them, which must begin as a JPEG does.
#include "carve/CarveFormats.h"

#include "jexcommon/ByteOrder.h"

#include <cstring>
#include <utility>

namespace {

constexpr uint8_t kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kDri = 0xDD, kRst0 = 0xD0, kRst7 = 0xD7, kTem = 0x01;
constexpr uint8_t kApp2 = 0xE2;
constexpr uint16_t kMpEntryTag = 0xB002;
constexpr size_t kMpEntrySize = 16;

// The end of the last image an MPF segment (from its "MPF\0") lists, as an
// offset from the segment's TIFF header, with where that image starts; 0
// when it lists none after the first.
std::pair<uint64_t, uint64_t> MpfExtent(const uint8_t* b, size_t size)
{
    if (size < 16 || std::memcmp(b, "MPF", 4) != 0)
        return {0, 0};
    const uint8_t* tiff = b + 4;
    const size_t length = size - 4;
    const bool little = tiff[0] == 'I';
    const auto u16 = [&](size_t at) { return little ? ZelLE16(tiff + at) : ZelBE16(tiff + at); };
    const auto u32 = [&](size_t at) { return little ? ZelLE32(tiff + at) : ZelBE32(tiff + at); };
    const uint64_t ifd = u32(4);
    if (ifd + 2 > length)
        return {0, 0};
    const uint32_t count = u16(ifd);
    std::pair<uint64_t, uint64_t> last{0, 0};
    for (uint64_t i = 0; i < count && ifd + 2 + 12 * (i + 1) <= length; ++i) {
        const size_t entry = ifd + 2 + 12 * i;
        if (u16(entry) != kMpEntryTag)
            continue;
        const uint32_t bytes = u32(entry + 4), at = u32(entry + 8);
        for (uint64_t e = at; e + kMpEntrySize <= at + static_cast<uint64_t>(bytes) && e + kMpEntrySize <= length;
             e += kMpEntrySize) {
            const uint32_t imageSize = u32(e + 4), imageOffset = u32(e + 8);
            if (imageOffset != 0 && imageOffset + static_cast<uint64_t>(imageSize) > last.first)
                last = {imageOffset + static_cast<uint64_t>(imageSize), imageOffset};
        }
    }
    return last;
}
// Entropy-coded data has no long runs of zeros; a cluster of them is a
// hole in the file.
constexpr uint32_t kMaxZeroRun = 4096;

bool IsFrameMarker(uint8_t marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

class CJpegStream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override
    {
        m_Step = Step::Soi;
        return Need(2);
    }

    Ask OnBytes(const uint8_t* bytes, size_t size) override
    {
        switch (m_Step) {
        case Step::Soi:
            if (size != 2 || bytes[0] != 0xFF || bytes[1] != kSoi)
                return Fail("no start of image");
            return NextMarker();
        case Step::Marker:
            if (bytes[0] != 0xFF)
                return Fail("a segment does not start with a marker");
            return Marker(bytes[1]);
        case Step::MarkerByte:
            return Marker(bytes[0]);
        case Step::Length: {
            const uint32_t length = ZelBE16(bytes);
            if (length < 2)
                return Fail("a segment of length " + std::to_string(length));
            if (m_Marker == kDri && length == 4) {
                m_Step = Step::Restart;
                return Need(2);
            }
            if (m_Marker == kApp2 && length > 10 && m_MpfEnd == 0) {
                // Where the MPF header's offsets count from.
                m_MpfBase = Position() + 4;
                m_Step = Step::Multi;
                return Need(length - 2);
            }
            m_Step = m_Marker == kSos ? Step::ScanHeader : Step::Body;
            return length == 2 ? OnBytes(nullptr, 0) : Skip(length - 2);
        }
        case Step::Restart:
            m_RestartInterval = ZelBE16(bytes);
            return NextMarker();
        case Step::Multi: {
            const auto extent = MpfExtent(bytes, size);
            if (extent.first != 0) {
                m_MpfEnd = m_MpfBase + extent.first;
                m_MpfLast = m_MpfBase + extent.second;
            }
            return NextMarker();
        }
        case Step::Body:
            return NextMarker();
        case Step::Tail:
            // The last image the MPF segment lists starts here.
            m_Step = Step::TailStart;
            return Need(2);
        case Step::TailStart:
            if (bytes[0] != 0xFF || bytes[1] != kSoi)
                return Fail("an image its MPF segment lists is not where it says");
            m_Step = Step::TailEnd;
            return m_MpfEnd - Position() == 0 ? Done(true) : Skip(m_MpfEnd - Position());
        case Step::TailEnd:
            return Done(true);
        case Step::ScanHeader:
            if (!m_Frame)
                return Fail("a scan before any frame header");
            m_Scans += 1;
            m_Pending = false;
            m_NextRestart = 0;
            m_Zeros = 0;
            m_Step = Step::Entropy;
            return Scan();
        case Step::Entropy:
            break;
        }
        return Fail("lost its place");
    }

    Ask OnScan(const uint8_t* bytes, size_t size, size_t& used) override
    {
        for (size_t i = 0; i < size; ++i) {
            const uint8_t b = bytes[i];
            if (!m_Pending) {
                if (b == 0xFF) {
                    m_Pending = true;
                    m_Zeros = 0;
                } else if (b == 0 && ++m_Zeros >= kMaxZeroRun) {
                    used = i + 1;
                    return Fail("a run of zeros inside the image data");
                } else if (b != 0) {
                    m_Zeros = 0;
                }
                continue;
            }
            if (b == 0xFF)
                continue;
            m_Pending = false;
            if (b == 0x00)
                continue;
            if (b >= kRst0 && b <= kRst7) {
                if (m_RestartInterval != 0 && static_cast<uint32_t>(b - kRst0) != m_NextRestart) {
                    used = i + 1;
                    return Fail("its restart markers are out of order");
                }
                m_NextRestart = (m_NextRestart + 1) % 8;
                continue;
            }
            // A marker ends the scan.
            used = i + 1;
            m_InScan = used;
            const Ask next = Marker(b);
            m_InScan = 0;
            return next;
        }
        used = size;
        return Scan();
    }

private:
    enum class Step { Soi, Marker, MarkerByte, Length, Restart, Body, ScanHeader, Entropy, Multi, Tail, TailStart, TailEnd };

    Ask NextMarker()
    {
        m_Step = Step::Marker;
        return Need(2);
    }

    Ask Marker(uint8_t marker)
    {
        if (marker == 0xFF) {
            // A fill byte before the marker.
            m_Step = Step::MarkerByte;
            return Need(1);
        }
        if (marker == kEoi) {
            if (!m_Frame || m_Scans == 0)
                return Fail("it ends before any image data");
            const uint64_t here = Position() + m_InScan;
            if (m_MpfEnd > here && m_MpfLast >= here) {
                m_Step = m_MpfLast == here ? Step::TailStart : Step::Tail;
                return m_MpfLast == here ? Need(2) : Skip(m_MpfLast - here);
            }
            return Done(true);
        }
        if (marker == kSoi || marker == 0x00 || (marker >= kRst0 && marker <= kRst7))
            return Fail("a marker out of place");
        if (marker == kTem)
            return NextMarker();
        if (IsFrameMarker(marker))
            m_Frame = true;
        m_Marker = marker;
        m_Step = Step::Length;
        return Need(2);
    }

    Step m_Step = Step::Soi;
    uint8_t m_Marker = 0;
    bool m_Frame = false;
    uint32_t m_Scans = 0;
    uint32_t m_RestartInterval = 0;
    uint32_t m_NextRestart = 0;
    bool m_Pending = false;
    uint32_t m_Zeros = 0;
    // From an MPF segment: where its offsets count from, where the last
    // image it lists starts, and the file's end after it.
    uint64_t m_MpfBase = 0;
    uint64_t m_MpfLast = 0;
    uint64_t m_MpfEnd = 0;
    // Bytes of the piece being scanned taken before the marker at hand.
    uint64_t m_InScan = 0;
};

} // namespace

bool ZelMatchesJpeg(const uint8_t* bytes, size_t size)
{
    // SOI and the first segment's marker (APPn, DQT, SOF, COM, DHT).
    return size >= 4 && bytes[0] == 0xFF && bytes[1] == kSoi && bytes[2] == 0xFF &&
           ((bytes[3] >= 0xE0 && bytes[3] <= 0xEF) || bytes[3] == 0xDB || bytes[3] == 0xC0 || bytes[3] == 0xC4 ||
            bytes[3] == 0xFE);
}

std::unique_ptr<CZelCarveStream> ZelMakeJpegStream(uint64_t bound)
{
    return std::make_unique<CJpegStream>(bound);
}
