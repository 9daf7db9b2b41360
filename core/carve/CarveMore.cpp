// Photoshop documents, MPEG program streams and RAR archives.
// PSD/PSB: header, then three sections each with its length, then the
// image data, whose length its compression and dimensions give.
// MPEG-PS: packs and the packets in them, each with its length, to the
// program end code. RAR (4 and 5): blocks whose headers carry their CRCs,
// to the end-of-archive block.
#include "carve/CarveFormats.h"

#include "jexcommon/ByteOrder.h"

#include <zlib.h>

#include <cstring>
#include <vector>

namespace {

class CPsdStream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override { return Need(26); }

    Ask OnBytes(const uint8_t* bytes, size_t size) override
    {
        switch (m_Step) {
        case 0:
            if (size != 26 || !ZelMatchesPsd(bytes, size))
                return Fail("no Photoshop header");
            m_Big = ZelBE16(bytes + 4) == 2;
            m_Channels = ZelBE16(bytes + 12);
            m_Height = ZelBE32(bytes + 14);
            m_Width = ZelBE32(bytes + 18);
            m_Depth = ZelBE16(bytes + 22);
            m_Step = 1;
            return Need(4);
        case 1: // colour mode data
        case 3: // image resources
            m_Step += 1;
            return ZelBE32(bytes) == 0 ? OnBytes(nullptr, 0) : Skip(ZelBE32(bytes));
        case 2:
            m_Step = 3;
            return Need(4);
        case 4:
            m_Step = 5;
            return Need(m_Big ? 8 : 4);
        case 5: { // layers and masks
            const uint64_t length = m_Big ? ZelBE64(bytes) : ZelBE32(bytes);
            m_Step = 6;
            return length == 0 ? OnBytes(nullptr, 0) : Skip(length);
        }
        case 6:
            m_Step = 7;
            return Need(2);
        case 7: {
            const uint16_t compression = ZelBE16(bytes);
            const uint64_t rows = static_cast<uint64_t>(m_Channels) * m_Height;
            // Sizes of at most 300,000 by 300,000, 56 channels of 32 bits:
            // no product below overflows.
            if (m_Width > 300000 || m_Height > 300000)
                return Fail("an image larger than any Photoshop makes");
            if (compression == 0) {
                m_Step = 9;
                return Skip(rows * ((static_cast<uint64_t>(m_Width) * m_Depth + 7) / 8));
            }
            if (compression != 1 || rows == 0)
                return Fail("image data compressed as " + std::to_string(compression));
            // Run-length rows: their byte counts first, summed as they pass.
            m_Step = 8;
            m_Rows = 0;
            return Skip(rows * (m_Big ? 4 : 2));
        }
        case 8:
            m_Step = 9;
            return m_Rows == 0 ? Done(true) : Skip(m_Rows);
        default:
            return Done(true);
        }
    }

    void OnSkipped(const uint8_t* bytes, size_t size) override
    {
        if (m_Step != 8)
            return;
        const size_t width = m_Big ? 4 : 2;
        for (size_t i = 0; i < size; ++i) {
            m_Count[m_Have++] = bytes[i];
            if (m_Have == width) {
                m_Rows += m_Big ? ZelBE32(m_Count) : ZelBE16(m_Count);
                m_Have = 0;
            }
        }
    }

private:
    int m_Step = 0;
    uint64_t m_Rows = 0;
    uint8_t m_Count[4] = {};
    size_t m_Have = 0;
    bool m_Big = false;
    uint32_t m_Channels = 0, m_Height = 0, m_Width = 0, m_Depth = 0;
};

class CMpegStream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override { return Need(4); }

    Ask OnBytes(const uint8_t* bytes, size_t size) override
    {
        switch (m_Step) {
        case Step::Code: {
            // Stuffing passed over: the next start code.
            if (bytes == nullptr)
                return Need(4);
            // The packs end where the next bytes are none: as far as the
            // stream's structure tells, it is whole.
            if (bytes[0] != 0 || bytes[1] != 0 || bytes[2] != 1)
                return m_Packs > 1 ? Done(true, size) : Fail("no start code");
            const uint8_t code = bytes[3];
            if (code == 0xB9)
                return m_Packs != 0 ? Done(true) : Fail("it ends before any pack");
            if (code == 0xBA) {
                ++m_Packs;
                m_Step = Step::Pack;
                return Need(10);
            }
            if (code < 0xBB || m_Packs == 0)
                return Fail("a start code out of place");
            m_Step = Step::Length;
            return Need(2);
        }
        case Step::Pack:
            m_Step = Step::Code;
            // MPEG-2 packs end with their stuffing; MPEG-1 packs are 12 bytes.
            if ((bytes[0] & 0xC0) == 0x40) {
                const size_t stuffing = bytes[9] & 7;
                return stuffing == 0 ? Need(4) : Skip(stuffing);
            }
            if ((bytes[0] & 0xF0) == 0x20) {
                // Two of the ten bytes read belong to what follows.
                m_Step = Step::Mpeg1;
                m_Carried[0] = bytes[8];
                m_Carried[1] = bytes[9];
                return Need(2);
            }
            return Fail("a pack header of neither MPEG-1 nor MPEG-2");
        case Step::Mpeg1: {
            const uint8_t code[4] = {m_Carried[0], m_Carried[1], bytes[0], bytes[1]};
            m_Step = Step::Code;
            return OnBytes(code, 4);
        }
        case Step::Length:
            m_Step = Step::Body;
            return ZelBE16(bytes) == 0 ? OnBytes(nullptr, 0) : Skip(ZelBE16(bytes));
        case Step::Body:
            m_Step = Step::Code;
            return Need(4);
        }
        return Fail("lost its place");
    }

    Ask OnEnd() override
    {
        // Where a pack could have followed: without the end code, the
        // stream may go on past the cluster in use.
        if (m_Step == Step::Code && m_Packs > 1)
            return Done(false, Unfinished());
        return Ask();
    }

private:
    enum class Step { Code, Pack, Mpeg1, Length, Body };
    Step m_Step = Step::Code;
    uint64_t m_Packs = 0;
    uint8_t m_Carried[2] = {};
};

const uint8_t kRar4[7] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00};
const uint8_t kRar5[8] = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x01, 0x00};

// A RAR5 variable-length number at bytes; 0 bytes used when it runs on.
uint64_t Vint(const uint8_t* bytes, size_t size, size_t& used)
{
    uint64_t value = 0;
    for (used = 0; used < size && used < 10; ++used) {
        value |= static_cast<uint64_t>(bytes[used] & 0x7F) << (7 * used);
        if ((bytes[used] & 0x80) == 0) {
            ++used;
            return value;
        }
    }
    used = 0;
    return 0;
}

class CRarStream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override { return Need(7); }

    Ask OnBytes(const uint8_t* bytes, size_t size) override
    {
        switch (m_Step) {
        case Step::Signature:
            if (size == 7 && std::memcmp(bytes, kRar4, 7) == 0) {
                m_Step = Step::Head4;
                return Need(7);
            }
            if (size == 7 && std::memcmp(bytes, kRar5, 7) == 0) {
                m_Step = Step::Version5;
                return Need(1);
            }
            return Fail("no RAR signature");
        case Step::Version5:
            if (bytes[0] != 0)
                return Fail("no RAR signature");
            m_Step = Step::Head5;
            return Need(7);
        case Step::Head4: {
            m_Type = bytes[2];
            const uint16_t flags = ZelLE16(bytes + 3), length = ZelLE16(bytes + 5);
            if (length < 7)
                return Fail("a block shorter than its header");
            std::memcpy(m_Header, bytes, 7);
            m_Crc = crc32(0L, bytes + 2, 5);
            m_Expected = ZelLE16(bytes);
            m_HasData = (flags & 0x8000) != 0 || m_Type == 0x74;
            m_Step = Step::Rest4;
            return length == 7 ? OnBytes(nullptr, 0) : Need(length - 7u);
        }
        case Step::Rest4:
            if (bytes != nullptr)
                m_Crc = crc32(m_Crc, bytes, static_cast<uInt>(size));
            if ((m_Crc & 0xFFFF) != m_Expected)
                return Fail("the CRC of a block's header does not agree");
            if (m_Type == 0x7B)
                return Done(true);
            m_Step = Step::Data4;
            if (m_HasData && bytes != nullptr && size >= 4) {
                uint64_t data = ZelLE32(bytes);
                // A file past 4 GiB keeps its size's high half further on.
                if (m_Type == 0x74 && (ZelLE16(m_Header + 3) & 0x100) != 0 && size >= 29)
                    data |= static_cast<uint64_t>(ZelLE32(bytes + 25)) << 32;
                return data == 0 ? OnBytes(nullptr, 0) : Skip(data);
            }
            return OnBytes(nullptr, 0);
        case Step::Data4:
            m_Step = Step::Head4;
            return Need(7);
        case Step::Head5: {
            // CRC, then the header's size as a variable-length number.
            size_t used = 0;
            const uint64_t length = Vint(bytes + 4, size - 4, used);
            if (used == 0 || length == 0 || length > (uint64_t(1) << 21))
                return Fail("a block header of impossible size");
            m_Expected = ZelLE32(bytes);
            m_Crc = crc32(0L, bytes + 4, static_cast<uInt>(size - 4));
            // The header runs on for length bytes after its size.
            const uint64_t read = size - 4 - used;
            if (length < read)
                return Fail("a block header shorter than what was read");
            std::memcpy(m_Header, bytes, size);
            m_Step = Step::Rest5;
            return length == read ? OnBytes(nullptr, 0) : Need(static_cast<size_t>(length - read));
        }
        case Step::Rest5: {
            if (bytes != nullptr)
                m_Crc = crc32(m_Crc, bytes, static_cast<uInt>(size));
            if (static_cast<uint32_t>(m_Crc) != m_Expected)
                return Fail("the CRC of a block's header does not agree");
            // Type and flags lie in the header's first bytes after its size.
            std::vector<uint8_t> header(m_Header + 4, m_Header + 7);
            if (bytes != nullptr)
                header.insert(header.end(), bytes, bytes + size);
            size_t at = 0, used = 0;
            Vint(header.data(), header.size(), used); // the size, again
            at += used;
            const uint64_t type = Vint(header.data() + at, header.size() - at, used);
            at += used;
            const uint64_t flags = used != 0 ? Vint(header.data() + at, header.size() - at, used) : 0;
            at += used;
            if (used == 0)
                return Fail("a block header that does not hold together");
            if ((flags & 1) != 0) {
                Vint(header.data() + at, header.size() - at, used);
                at += used;
            }
            const uint64_t data = (flags & 2) != 0 ? Vint(header.data() + at, header.size() - at, used) : 0;
            if (type == 5)
                return Done(true);
            m_Step = Step::Data5;
            return data == 0 ? OnBytes(nullptr, 0) : Skip(data);
        }
        case Step::Data5:
            m_Step = Step::Head5;
            return Need(7);
        }
        return Fail("lost its place");
    }

private:
    enum class Step { Signature, Version5, Head4, Rest4, Data4, Head5, Rest5, Data5 };
    Step m_Step = Step::Signature;
    uint8_t m_Header[8] = {};
    uint8_t m_Type = 0;
    bool m_HasData = false;
    uLong m_Crc = 0;
    uint32_t m_Expected = 0;
};

} // namespace

bool ZelMatchesPsd(const uint8_t* bytes, size_t size)
{
    if (size < 26 || std::memcmp(bytes, "8BPS", 4) != 0)
        return false;
    const uint16_t version = ZelBE16(bytes + 4), channels = ZelBE16(bytes + 12), depth = ZelBE16(bytes + 22);
    return (version == 1 || version == 2) && channels >= 1 && channels <= 56 &&
           (depth == 1 || depth == 8 || depth == 16 || depth == 32) && ZelBE32(bytes + 14) != 0 && ZelBE32(bytes + 18) != 0;
}

std::unique_ptr<CZelCarveStream> ZelMakePsdStream(uint64_t bound)
{
    return std::make_unique<CPsdStream>(bound);
}

bool ZelMatchesMpegPs(const uint8_t* bytes, size_t size)
{
    return size >= 14 && bytes[0] == 0 && bytes[1] == 0 && bytes[2] == 1 && bytes[3] == 0xBA &&
           ((bytes[4] & 0xC4) == 0x44 || (bytes[4] & 0xF1) == 0x21);
}

std::unique_ptr<CZelCarveStream> ZelMakeMpegPsStream(uint64_t bound)
{
    return std::make_unique<CMpegStream>(bound);
}

bool ZelMatchesRar(const uint8_t* bytes, size_t size)
{
    return size >= 8 && (std::memcmp(bytes, kRar4, 7) == 0 || std::memcmp(bytes, kRar5, 8) == 0);
}

std::unique_ptr<CZelCarveStream> ZelMakeRarStream(uint64_t bound)
{
    return std::make_unique<CRarStream>(bound);
}
