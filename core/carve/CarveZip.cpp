// ZIP and the formats built on it (DOCX, XLSX, PPTX, ODT, ODS, ODP, EPUB):
// each member's local header and data, inflated to check its CRC (data
// whose sizes only its descriptor gives ends where its deflate stream
// ends), then the central directory, whose count and offset must agree
// with the members, to the end record and its comment.
#include "carve/CarveFormats.h"
#include "carve/CarveInflate.h"

#include "jexcommon/ByteOrder.h"

#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kLocal = 0x04034B50, kCentral = 0x02014B50, kEnd = 0x06054B50, kEnd64 = 0x06064B50,
                   kLocator64 = 0x07064B50, kDescriptor = 0x08074B50;
constexpr uint16_t kStored = 0, kDeflated = 8;
constexpr uint16_t kFlagDescriptor = 0x08;

class CZipStream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override { return Signature(); }

    Ask OnBytes(const uint8_t* bytes, size_t size) override
    {
        switch (m_Step) {
        case Step::Signature:
            return Record(ZelLE32(bytes));
        case Step::Local: {
            m_Flags = ZelLE16(bytes + 2);
            m_Method = ZelLE16(bytes + 4);
            m_Crc = ZelLE32(bytes + 10);
            m_Compressed = ZelLE32(bytes + 14);
            m_Uncompressed = ZelLE32(bytes + 18);
            m_Zip64 = false;
            m_Names = static_cast<size_t>(ZelLE16(bytes + 22)) + ZelLE16(bytes + 24);
            m_NameLength = ZelLE16(bytes + 22);
            m_Step = Step::Name;
            return m_Names == 0 ? Fail("a member with no name") : Need(m_Names);
        }
        case Step::Name:
            Named(std::string(reinterpret_cast<const char*>(bytes), std::min(m_NameLength, size)));
            Extra(bytes + std::min(m_NameLength, size), size - std::min(m_NameLength, size));
            return Data();
        case Step::Data:
            if (bytes != nullptr && m_MimeType) {
                // A stored "mimetype" member, read whole.
                m_MimeType = false;
                m_Running = crc32(m_Running, bytes, static_cast<uInt>(size));
                const std::string type(reinterpret_cast<const char*>(bytes), size);
                const std::string odf = "application/vnd.oasis.opendocument.";
                if (type == odf + "text")
                    SetExtension("odt");
                else if (type == odf + "spreadsheet")
                    SetExtension("ods");
                else if (type == odf + "presentation")
                    SetExtension("odp");
                else if (type == "application/epub+zip")
                    SetExtension("epub");
            }
            return Member();
        case Step::Descriptor:
            return Descriptor(bytes, size);
        case Step::Central:
            ++m_CentralCount;
            m_Step = Step::CentralNames;
            {
                const uint64_t rest = static_cast<uint64_t>(ZelLE16(bytes + 24)) + ZelLE16(bytes + 26) + ZelLE16(bytes + 28);
                return rest == 0 ? Signature() : Skip(rest);
            }
        case Step::CentralNames:
            return Signature();
        case Step::End: {
            const uint32_t entries = ZelLE16(bytes + 6), offset = ZelLE32(bytes + 12);
            const bool zip64 = entries == 0xFFFF || offset == 0xFFFFFFFF;
            m_Agrees = m_Agrees && (zip64 || (entries == m_CentralCount && offset == m_CentralStart));
            const uint16_t comment = ZelLE16(bytes + 16);
            m_Step = Step::Comment;
            return comment == 0 ? OnBytes(nullptr, 0) : Skip(comment);
        }
        case Step::Comment:
            return Done(m_Agrees && m_Members != 0 && m_Checked == m_Members);
        case Step::Skipped:
            return Signature();
        case Step::Record64:
            m_Step = Step::Skipped;
            return ZelLE64(bytes) == 0 ? Signature() : Skip(ZelLE64(bytes));
        }
        (void)size;
        return Fail("lost its place");
    }

    void OnSkipped(const uint8_t* bytes, size_t size) override
    {
        if (m_Step != Step::Data)
            return;
        if (m_Method == kStored)
            m_Running = crc32(m_Running, bytes, static_cast<uInt>(size));
        else if (m_Method == kDeflated)
            m_Inflate.Take(bytes, size);
    }

    Ask OnScan(const uint8_t* bytes, size_t size, size_t& used) override
    {
        // A deflated member whose length only its descriptor tells: its
        // stream's end is the data's end.
        used = m_Inflate.Take(bytes, size);
        if (m_Inflate.Broken())
            return Fail("a member's deflate stream is broken");
        if (!m_Inflate.Ended())
            return Scan();
        m_Step = Step::Descriptor;
        return Need(16);
    }

private:
    enum class Step { Signature, Local, Name, Data, Descriptor, Central, CentralNames, End, Comment, Skipped, Record64 };

    Ask Signature()
    {
        m_Step = Step::Signature;
        return Need(4);
    }

    Ask Record(uint32_t signature)
    {
        switch (signature) {
        case kLocal:
            if (m_CentralCount != 0)
                return Fail("a member after the central directory");
            m_Step = Step::Local;
            return Need(26);
        case kCentral:
            if (m_CentralCount == 0)
                m_CentralStart = Position() - 4;
            m_Step = Step::Central;
            return Need(42);
        case kEnd:
            m_Step = Step::End;
            return Need(18);
        case kEnd64:
            m_Step = Step::Record64;
            return Need(8);
        case kLocator64:
            m_Step = Step::Skipped;
            return Skip(16);
        default:
            return m_Members == 0 ? Fail("no ZIP member") : Fail("a record of unknown kind");
        }
    }

    void Named(const std::string& name)
    {
        if (m_Members == 0 && name == "mimetype")
            m_WantMimeType = true;
        if (name == "[Content_Types].xml")
            m_Office = true;
        const auto starts = [&name](const char* prefix) { return name.compare(0, std::strlen(prefix), prefix) == 0; };
        if (m_Office && starts("word/"))
            SetExtension("docx");
        else if (m_Office && starts("xl/"))
            SetExtension("xlsx");
        else if (m_Office && starts("ppt/"))
            SetExtension("pptx");
    }

    Ask Data()
    {
        ++m_Members;
        m_Running = crc32(0L, Z_NULL, 0);
        if (m_Method == kDeflated && !m_Inflate.Restart())
            return Fail("zlib cannot start");
        m_Step = Step::Data;
        if ((m_Flags & kFlagDescriptor) != 0 && m_Compressed == 0) {
            if (m_Method != kDeflated)
                return Fail("a member whose size only its descriptor tells");
            return Scan();
        }
        if (m_Compressed == 0xFFFFFFFF)
            return Fail("a member whose size is nowhere");
        if (m_WantMimeType && m_Method == kStored && m_Compressed > 0 && m_Compressed < 128) {
            m_WantMimeType = false;
            m_MimeType = true;
            return Need(static_cast<size_t>(m_Compressed));
        }
        return m_Compressed == 0 ? Member() : Skip(m_Compressed);
    }

    // The ZIP64 field of a local header's extra data: the sizes that did
    // not fit in 32 bits.
    void Extra(const uint8_t* bytes, size_t size)
    {
        for (size_t at = 0; at + 4 <= size;) {
            const uint16_t tag = ZelLE16(bytes + at), length = ZelLE16(bytes + at + 2);
            if (at + 4 + length > size)
                return;
            if (tag == 1) {
                m_Zip64 = true;
                size_t field = at + 4;
                if (m_Uncompressed == 0xFFFFFFFF && field + 8 <= at + 4 + length)
                    field += 8;
                if (m_Compressed == 0xFFFFFFFF && field + 8 <= at + 4 + length)
                    m_Compressed = ZelLE64(bytes + field);
            }
            at += 4 + static_cast<size_t>(length);
        }
    }

    // A member's data has passed: its CRC is checked where its method
    // allows it.
    Ask Member()
    {
        if ((m_Flags & kFlagDescriptor) != 0) {
            m_Step = Step::Descriptor;
            return Need(m_Zip64 ? 24 : 16);
        }
        Check(m_Crc);
        return Signature();
    }

    void Check(uint32_t crc)
    {
        const bool stored = m_Method == kStored, deflated = m_Method == kDeflated && m_Inflate.Ended();
        if (stored || deflated) {
            if ((stored ? static_cast<uint32_t>(m_Running) : m_Inflate.Crc()) == crc)
                ++m_Checked;
            else
                m_Agrees = false;
        }
    }

    Ask Descriptor(const uint8_t* bytes, size_t size)
    {
        // Its signature is optional: CRC, then the sizes.
        const uint8_t* fields = ZelLE32(bytes) == kDescriptor ? bytes + 4 : bytes;
        Check(ZelLE32(fields));
        // ZIP64 descriptors hold sizes of 8 bytes.
        const size_t used = static_cast<size_t>(fields - bytes) + (m_Zip64 ? 20 : 12);
        // The four bytes past a descriptor without its signature are the
        // next record's signature.
        if (used + 4 == size)
            return Record(ZelLE32(bytes + used));
        return Signature();
    }

    Step m_Step = Step::Signature;
    uint16_t m_Flags = 0, m_Method = 0;
    uint32_t m_Crc = 0;
    uint64_t m_Compressed = 0;
    uint64_t m_Uncompressed = 0;
    bool m_Zip64 = false;
    size_t m_Names = 0, m_NameLength = 0;
    uint64_t m_Members = 0, m_Checked = 0, m_CentralCount = 0, m_CentralStart = 0;
    bool m_Agrees = true;
    bool m_Office = false, m_WantMimeType = false, m_MimeType = false;
    CZelCarveInflate m_Inflate;
    // The CRC of a stored member.
    uLong m_Running = 0;
};

} // namespace

bool ZelMatchesZip(const uint8_t* bytes, size_t size)
{
    if (size < 30 || ZelLE32(bytes) != kLocal)
        return false;
    const uint16_t method = ZelLE16(bytes + 8), nameLength = ZelLE16(bytes + 26);
    return (method == kStored || method == kDeflated || method == 12 || method == 14) && nameLength != 0 &&
           nameLength <= 1024;
}

std::unique_ptr<CZelCarveStream> ZelMakeZipStream(uint64_t bound)
{
    return std::make_unique<CZipStream>(bound);
}
