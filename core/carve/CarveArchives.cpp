// Archives and stores whose length their own header tells, each with its
// check: gzip (every member inflated, its CRC and length checked), 7z (the
// start header's CRC and the CRC of the header at its end), RAR (each
// block's header CRC, to the end-of-archive block) and SQLite (page size
// times page count, where the header vouches for the count).
#include "carve/CarveFormats.h"
#include "carve/CarveInflate.h"

#include "jexcommon/ByteOrder.h"

#include <zlib.h>

#include <cstring>
#include <vector>

namespace {

class CGzipStream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override
    {
        m_Step = Step::Header;
        return Need(10);
    }

    Ask OnBytes(const uint8_t* bytes, size_t size) override
    {
        switch (m_Step) {
        case Step::Header:
            if (size < 10 || !ZelMatchesGzip(bytes, size))
                return m_Members != 0 ? Done(true, size) : Fail("no gzip header");
            m_Flags = bytes[3];
            return Optional();
        case Step::Extra:
            m_Flags &= ~0x04;
            m_Step = Step::ExtraBody;
            return Skip(ZelLE16(bytes));
        case Step::ExtraBody:
            return Optional();
        case Step::Name:
        case Step::Data:
            break;
        case Step::HeaderCrc:
            m_Flags &= ~0x02;
            return Optional();
        case Step::Trailer:
            if (ZelLE32(bytes) != m_Inflate.Crc() || ZelLE32(bytes + 4) != static_cast<uint32_t>(m_Inflate.Length()))
                return Fail("the CRC or length of its data does not agree");
            ++m_Members;
            // Another member may follow; what follows is seen by its header.
            m_Step = Step::Header;
            return Need(10);
        }
        return Fail("lost its place");
    }

    Ask OnScan(const uint8_t* bytes, size_t size, size_t& used) override
    {
        if (m_Step == Step::Name) {
            // A zero ends the name or comment.
            const void* zero = std::memchr(bytes, 0, size);
            used = zero == nullptr ? size : static_cast<size_t>(static_cast<const uint8_t*>(zero) - bytes) + 1;
            if (zero == nullptr)
                return Position() + size - m_FieldStart > 65536 ? Fail("a name without its end") : Scan();
            m_Flags &= m_Field;
            return Optional();
        }
        used = m_Inflate.Take(bytes, size);
        if (m_Inflate.Broken())
            return Fail("its deflate stream is broken");
        if (!m_Inflate.Ended())
            return Scan();
        m_Step = Step::Trailer;
        return Need(8);
    }

    Ask OnEnd() override
    {
        if (m_Step == Step::Header && m_Members != 0)
            return Done(true, Unfinished());
        return Ask();
    }

private:
    enum class Step { Header, Extra, ExtraBody, Name, HeaderCrc, Data, Trailer };

    // The optional fields, in their order, then the data.
    Ask Optional()
    {
        if (m_Flags & 0x04) {
            m_Step = Step::Extra;
            return Need(2);
        }
        if (m_Flags & 0x18) {
            m_Step = Step::Name;
            m_Field = static_cast<uint8_t>(m_Flags & 0x08 ? ~0x08 : ~0x10);
            m_FieldStart = Position();
            return Scan();
        }
        if (m_Flags & 0x02) {
            m_Step = Step::HeaderCrc;
            return Need(2);
        }
        if (!m_Inflate.Restart())
            return Fail("zlib cannot start");
        m_Step = Step::Data;
        return Scan();
    }

    Step m_Step = Step::Header;
    uint8_t m_Flags = 0;
    uint8_t m_Field = 0;
    uint64_t m_FieldStart = 0;
    uint64_t m_Members = 0;
    CZelCarveInflate m_Inflate;
};

const uint8_t k7zSignature[6] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};

class C7zStream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override { return Need(32); }

    Ask OnBytes(const uint8_t* bytes, size_t size) override
    {
        if (m_Step == 0) {
            if (size != 32 || std::memcmp(bytes, k7zSignature, 6) != 0)
                return Fail("no 7z signature");
            if (crc32(0L, bytes + 12, 20) != ZelLE32(bytes + 8))
                return Fail("the CRC of its start header does not agree");
            const uint64_t offset = ZelLE64(bytes + 12), length = ZelLE64(bytes + 20);
            m_HeaderCrc = ZelLE32(bytes + 28);
            if (length == 0 || length > (uint64_t(1) << 20) || offset > (uint64_t(1) << 62))
                return Fail("its end header is out of bounds");
            m_Length = length;
            m_Step = 1;
            return offset == 0 ? OnBytes(nullptr, 0) : Skip(offset);
        }
        if (m_Step == 1) {
            m_Step = 2;
            return Need(static_cast<size_t>(m_Length));
        }
        return crc32(0L, bytes, static_cast<uInt>(size)) == m_HeaderCrc ? Done(true)
                                                                         : Fail("the CRC of its end header does not agree");
    }

private:
    int m_Step = 0;
    uint64_t m_Length = 0;
    uint32_t m_HeaderCrc = 0;
};

class CSqliteStream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override { return Need(100); }

    Ask OnBytes(const uint8_t* bytes, size_t size) override
    {
        if (bytes == nullptr)
            return Done(true);
        if (size != 100 || !ZelMatchesSqlite(bytes, size))
            return Fail("no SQLite header");
        const uint32_t code = ZelBE16(bytes + 16);
        const uint64_t page = code == 1 ? 65536 : code;
        const uint32_t pages = ZelBE32(bytes + 28);
        // The count holds only where the version number that wrote it
        // matches the change counter.
        if (pages == 0 || ZelBE32(bytes + 24) != ZelBE32(bytes + 92))
            return Fail("its header does not vouch for its page count");
        return Skip(page * pages - 100);
    }
};

} // namespace

bool ZelMatchesGzip(const uint8_t* bytes, size_t size)
{
    // Deflate, no reserved flag bits, a known operating system.
    return size >= 10 && bytes[0] == 0x1F && bytes[1] == 0x8B && bytes[2] == 8 && (bytes[3] & 0xE0) == 0 &&
           (bytes[9] <= 13 || bytes[9] == 255);
}

std::unique_ptr<CZelCarveStream> ZelMakeGzipStream(uint64_t bound)
{
    return std::make_unique<CGzipStream>(bound);
}

bool ZelMatches7z(const uint8_t* bytes, size_t size)
{
    return size >= 32 && std::memcmp(bytes, k7zSignature, 6) == 0 && bytes[6] == 0;
}

std::unique_ptr<CZelCarveStream> ZelMake7zStream(uint64_t bound)
{
    return std::make_unique<C7zStream>(bound);
}

bool ZelMatchesSqlite(const uint8_t* bytes, size_t size)
{
    if (size < 100 || std::memcmp(bytes, "SQLite format 3", 16) != 0)
        return false;
    const uint32_t page = ZelBE16(bytes + 16);
    return page == 1 || (page >= 512 && (page & (page - 1)) == 0);
}

std::unique_ptr<CZelCarveStream> ZelMakeSqliteStream(uint64_t bound)
{
    return std::make_unique<CSqliteStream>(bound);
}
