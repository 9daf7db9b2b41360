// JPEG: the marker segments from SOI, each with its length (an EXIF
// thumbnail lies inside APP1 and is passed over whole), then the
// entropy-coded data of each scan, in which only stuffed FF 00, fill bytes
// and restart markers in their order may follow an FF, to EOI.
#include "carve/CarveFormats.h"

namespace {

constexpr uint8_t kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kDri = 0xDD, kRst0 = 0xD0, kRst7 = 0xD7, kTem = 0x01;
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
            const uint32_t length = static_cast<uint32_t>(bytes[0]) << 8 | bytes[1];
            if (length < 2)
                return Fail("a segment of length " + std::to_string(length));
            if (m_Marker == kDri && length == 4) {
                m_Step = Step::Restart;
                return Need(2);
            }
            m_Step = m_Marker == kSos ? Step::ScanHeader : Step::Body;
            return length == 2 ? OnBytes(nullptr, 0) : Skip(length - 2);
        }
        case Step::Restart:
            m_RestartInterval = static_cast<uint32_t>(bytes[0]) << 8 | bytes[1];
            return NextMarker();
        case Step::Body:
            return NextMarker();
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
            return Marker(b);
        }
        used = size;
        return Scan();
    }

private:
    enum class Step { Soi, Marker, MarkerByte, Length, Restart, Body, ScanHeader, Entropy };

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
