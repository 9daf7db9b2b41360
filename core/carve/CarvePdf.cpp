// PDF: from "%PDF-" to the last "%%EOF" of its revisions. Each "%%EOF" is a
// possible end; the file goes on only where another revision follows it.
// It holds together when the "startxref" before its last "%%EOF" points at
// a cross-reference table ("xref") or stream ("N G obj") the scan passed.
#include "carve/CarveFormats.h"

#include <algorithm>
#include <cstring>
#include <set>

namespace {

// Offsets of cross-reference sections remembered per file.
constexpr size_t kMaxSections = 65536;

class CPdfStream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override { return Need(5); }

    Ask OnBytes(const uint8_t* bytes, size_t size) override
    {
        if (size != 5 || std::memcmp(bytes, "%PDF-", 5) != 0)
            return Fail("no PDF header");
        m_LineStart = 0;
        return Scan();
    }

    Ask OnScan(const uint8_t* bytes, size_t size, size_t& used) override
    {
        for (size_t i = 0; i < size; ++i) {
            const uint8_t b = bytes[i];
            const uint64_t at = Position() + i;
            if (m_AfterEof) {
                // After "%%EOF" and its line end, only another revision
                // goes on: its objects, or its table.
                if ((b == '\r' || b == '\n') && ++m_EolBytes <= 2) {
                    m_End = at + 1;
                    continue;
                }
                m_AfterEof = false;
                if (!((b >= '0' && b <= '9') || b == 'x' || b == '%' || b == ' ')) {
                    used = i;
                    return Finish();
                }
            }
            std::memmove(m_Window, m_Window + 1, sizeof m_Window - 1);
            m_Window[sizeof m_Window - 1] = static_cast<char>(b);
            if (m_Number) {
                if (b >= '0' && b <= '9' && m_Digits < 19) {
                    m_Value = m_Value * 10 + static_cast<uint64_t>(b - '0');
                    ++m_Digits;
                    continue;
                }
                if (m_Digits != 0 || (b != ' ' && b != '\r' && b != '\n')) {
                    m_Number = false;
                    m_StartXref = m_Digits != 0 ? m_Value : UINT64_MAX;
                }
            }
            if (b == '\n' || b == '\r')
                m_LineStart = at + 1;
            // Every word looked for ends in one of these.
            if (b != 'f' && b != 'j' && b != 'F')
                continue;
            if (Ends("startxref")) {
                m_Number = true;
                m_Value = 0;
                m_Digits = 0;
            } else if (Ends("xref") && at + 1 - 4 == m_LineStart) {
                Remember(m_LineStart);
            } else if (Ends(" obj")) {
                Remember(m_LineStart);
            } else if (Ends("%%EOF")) {
                m_End = at + 1;
                m_EndXref = m_StartXref;
                m_AfterEof = true;
                m_EolBytes = 0;
            }
        }
        used = size;
        return Scan();
    }

    Ask OnEnd() override
    {
        if (m_End == 0)
            return Fail("no %%EOF was found");
        // The bytes after the last "%%EOF" are not the file's.
        return FinishBefore(Position() - m_End);
    }

private:
    bool Ends(const char* word) const
    {
        const size_t n = std::strlen(word);
        return std::memcmp(m_Window + sizeof m_Window - n, word, n) == 0;
    }

    void Remember(uint64_t offset)
    {
        if (m_Sections.size() < kMaxSections)
            m_Sections.insert(offset);
    }

    Ask Finish() { return FinishBefore(0); }

    Ask FinishBefore(uint64_t giveBack)
    {
        const bool pointed = m_EndXref != UINT64_MAX && m_Sections.count(m_EndXref) != 0;
        return Done(pointed, giveBack);
    }

    char m_Window[12] = {};
    uint64_t m_LineStart = 0;
    bool m_Number = false;
    uint64_t m_Value = 0;
    uint32_t m_Digits = 0;
    uint64_t m_StartXref = UINT64_MAX;
    uint64_t m_EndXref = UINT64_MAX;
    uint64_t m_End = 0;
    bool m_AfterEof = false;
    uint32_t m_EolBytes = 0;
    std::set<uint64_t> m_Sections;
};

} // namespace

bool ZelMatchesPdf(const uint8_t* bytes, size_t size)
{
    return size >= 8 && std::memcmp(bytes, "%PDF-", 5) == 0 && bytes[5] >= '1' && bytes[5] <= '2' && bytes[6] == '.';
}

std::unique_ptr<CZelCarveStream> ZelMakePdfStream(uint64_t bound)
{
    return std::make_unique<CPdfStream>(bound);
}
