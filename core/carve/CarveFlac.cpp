// FLAC: the metadata blocks after "fLaC", then the audio frames. A frame
// has no length: it ends where the CRC-16 of its bytes comes out right and
// the next frame's header (with its own CRC-8) begins, or, for the last,
// where the samples STREAMINFO counts are all there.
#include "carve/CarveCrc.h"
#include "carve/CarveFormats.h"

#include "jexcommon/ByteOrder.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace {

// The longest frame followed (encoders write frames of a few KiB; the
// format would allow 16 MiB), and the longest header.
constexpr size_t kMaxFrame = size_t(1) << 20;
constexpr size_t kMaxHeader = 16;

struct FrameHeader {
    size_t length = 0;
    uint64_t number = 0;
    bool variable = false;
    uint32_t blockSize = 0;
};

// The frame header at bytes, with its CRC-8 checked; length 0 for none.
FrameHeader ParseHeader(const uint8_t* b, size_t size, uint32_t fixedBlock)
{
    FrameHeader h;
    if (size < 6 || b[0] != 0xFF || (b[1] & 0xFE) != 0xF8 || (b[3] & 1) != 0)
        return h;
    h.variable = (b[1] & 1) != 0;
    const uint32_t blockCode = b[2] >> 4, rateCode = b[2] & 15;
    if (blockCode == 0 || rateCode == 15 || (b[3] >> 4) > 10 || ((b[3] >> 1) & 7) == 3)
        return h;
    // The frame or sample number, coded as UTF-8 is.
    size_t at = 4;
    const uint8_t lead = b[at];
    size_t extra = lead < 0x80 ? 0 : lead >= 0xC0 && lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : lead < 0xF8 ? 3 : lead < 0xFC ? 4 : lead < 0xFE ? 5 : lead == 0xFE ? 6 : 7;
    if (extra == 7 || (lead >= 0x80 && lead < 0xC0) || at + 1 + extra > size)
        return h;
    uint64_t number = extra == 0 ? lead : lead & (0x3F >> extra);
    for (size_t i = 1; i <= extra; ++i) {
        if ((b[at + i] & 0xC0) != 0x80)
            return h;
        number = (number << 6) | (b[at + i] & 0x3F);
    }
    at += 1 + extra;
    uint32_t block = 0;
    if (blockCode == 1)
        block = 192;
    else if (blockCode <= 5)
        block = 576u << (blockCode - 2);
    else if (blockCode == 6 || blockCode == 7) {
        const size_t n = blockCode == 6 ? 1 : 2;
        if (at + n > size)
            return h;
        block = (n == 1 ? b[at] : ZelBE16(b + at)) + 1u;
        at += n;
    } else
        block = 256u << (blockCode - 8);
    if (rateCode >= 12) {
        at += rateCode == 12 ? 1 : 2;
        if (at > size)
            return h;
    }
    if (at + 1 > size || CZelFlacCrc8::Of(0, b, at) != b[at])
        return h;
    h.length = at + 1;
    h.number = h.variable ? number : number * fixedBlock;
    h.blockSize = block;
    return h;
}

class CFlacStream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override { return Need(4); }

    Ask OnBytes(const uint8_t* bytes, size_t size) override
    {
        switch (m_Step) {
        case Step::Magic:
            if (size != 4 || std::memcmp(bytes, "fLaC", 4) != 0)
                return Fail("no FLAC signature");
            m_Step = Step::Block;
            return Need(4);
        case Step::Block: {
            const uint32_t type = bytes[0] & 0x7F, length = (bytes[1] << 16) | (bytes[2] << 8) | bytes[3];
            m_Last = (bytes[0] & 0x80) != 0;
            // STREAMINFO first, and only there.
            if (type == 127 || (m_Blocks++ == 0) != (type == 0) || (type == 0 && length != 34))
                return Fail("its metadata blocks do not hold together");
            m_Step = type == 0 ? Step::StreamInfo : Step::BlockBody;
            return type == 0 ? Need(length) : (length == 0 ? OnBytes(nullptr, 0) : Skip(length));
        }
        case Step::StreamInfo:
            m_FixedBlock = ZelBE16(bytes + 2);
            m_Total = (static_cast<uint64_t>(bytes[13] & 15) << 32) | ZelBE32(bytes + 14);
            [[fallthrough]];
        case Step::BlockBody:
            if (!m_Last) {
                m_Step = Step::Block;
                return Need(4);
            }
            m_Step = Step::Frames;
            return Scan();
        case Step::Frames:
            break;
        }
        return Fail("lost its place");
    }

    Ask OnScan(const uint8_t* bytes, size_t size, size_t& used) override
    {
        for (size_t i = 0; i < size; ++i) {
            m_Frame.push_back(bytes[i]);
            m_Crc = CZelFlacCrc16::Step(m_Crc, bytes[i]);
            // The header, as soon as its bytes are there.
            if (m_Header.length == 0 && m_Frame.size() >= 6) {
                m_Header = ParseHeader(m_Frame.data(), m_Frame.size(), m_FixedBlock);
                if (m_Header.length == 0 && m_Frame.size() > kMaxHeader) {
                    used = i + 1;
                    return Fail("a frame header that does not hold together");
                }
            }
            if (m_Crc == 0 && m_Header.length != 0 && m_Frame.size() > m_Header.length + 2) {
                // The frame may end here: the last one does; another only
                // where the next frame's header follows.
                if (m_Total != 0 && m_Header.number + m_Header.blockSize >= m_Total) {
                    used = i + 1;
                    return Done(true);
                }
                if (m_Ends.size() < 64)
                    m_Ends.push_back(m_Frame.size());
            }
            if (!m_Ends.empty() && m_Frame.size() >= m_Ends.front() + kMaxHeader + 1) {
                const size_t end = m_Ends.front();
                m_Ends.erase(m_Ends.begin());
                const FrameHeader next = ParseHeader(m_Frame.data() + end, kMaxHeader + 1, m_FixedBlock);
                if (next.length != 0 && next.number == m_Header.number + m_Header.blockSize) {
                    m_Frame.erase(m_Frame.begin(), m_Frame.begin() + static_cast<std::ptrdiff_t>(end));
                    m_Header = next;
                    // The places found past this end are the next frame's.
                    for (size_t& later : m_Ends)
                        later -= end;
                    m_Crc = 0;
                    const bool last = m_Total != 0 && m_Header.number + m_Header.blockSize >= m_Total;
                    for (size_t k = 0; k < m_Frame.size(); ++k) {
                        m_Crc = CZelFlacCrc16::Step(m_Crc, m_Frame[k]);
                        if (last && m_Crc == 0 && k + 1 > m_Header.length + 2) {
                            used = i + 1;
                            return Done(true, m_Frame.size() - (k + 1));
                        }
                    }
                }
            }
            if (m_Frame.size() > kMaxFrame) {
                used = i + 1;
                return Fail("a frame longer than any can be");
            }
        }
        used = size;
        return Scan();
    }

    Ask OnEnd() override
    {
        // With no count of samples, the last frame ends where its CRC came
        // out right; nothing else tells.
        if (m_Step == Step::Frames && m_Total == 0 && !m_Ends.empty())
            return Done(false, m_Frame.size() - m_Ends.front());
        return Ask();
    }

private:
    enum class Step { Magic, Block, StreamInfo, BlockBody, Frames };
    Step m_Step = Step::Magic;
    uint64_t m_Blocks = 0;
    bool m_Last = false;
    uint32_t m_FixedBlock = 0;
    uint64_t m_Total = 0;
    std::vector<uint8_t> m_Frame;
    // Where the frame's CRC came out right, waiting for the bytes that tell
    // whether the next frame begins there.
    std::vector<size_t> m_Ends;
    FrameHeader m_Header;
    uint16_t m_Crc = 0;
};

} // namespace

bool ZelMatchesFlac(const uint8_t* bytes, size_t size)
{
    return size >= 8 && std::memcmp(bytes, "fLaC", 4) == 0 && (bytes[4] & 0x7F) == 0 && bytes[5] == 0 && bytes[6] == 0 &&
           bytes[7] == 34;
}

std::unique_ptr<CZelCarveStream> ZelMakeFlacStream(uint64_t bound)
{
    return std::make_unique<CFlacStream>(bound);
}
