// Text and RTF. Text has no structure: it runs from its first byte to the
// first byte that is no text (most often the zeros after it in its last
// cluster), and is never taken as checked. RTF: its groups, to the brace
// that closes the first one.
#include "carve/CarveFormats.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>

namespace {

// The length of the UTF-8 character a lead byte begins beyond ASCII; 0
// for a byte that begins none.
size_t Utf8Length(uint8_t b)
{
    return b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
}

// The length of the UTF-8 text character at bytes, 0 when there is none.
size_t TextCharacter(const uint8_t* bytes, size_t size)
{
    const uint8_t b = bytes[0];
    if ((b >= 0x20 && b < 0x7F) || b == '\t' || b == '\n' || b == '\r' || b == '\f')
        return 1;
    const size_t length = Utf8Length(b);
    if (length == 0 || length > size)
        return 0;
    for (size_t i = 1; i < length; ++i)
        if ((bytes[i] & 0xC0) != 0x80)
            return 0;
    return length;
}

// Bytes the check looks at: a sector.
constexpr size_t kLooked = 512;
// Text shorter than this is not looked for.
constexpr size_t kMinText = 64;

class CTextStream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override { return Scan(); }

    Ask OnBytes(const uint8_t*, size_t) override { return Fail("lost its place"); }

    Ask OnScan(const uint8_t* bytes, size_t size, size_t& used) override
    {
        if (Position() == 0 && size >= 5)
            Kind(bytes, size);
        size_t at = 0;
        // The rest of a character the last piece cut.
        for (; m_Continuations != 0 && at < size; --m_Continuations, ++at)
            if ((bytes[at] & 0xC0) != 0x80) {
                used = at;
                return Done(false);
            }
        while (at < size) {
            const size_t length = TextCharacter(bytes + at, size - at);
            if (length != 0) {
                at += length;
                continue;
            }
            const size_t whole = Utf8Length(bytes[at]);
            if (whole != 0 && at + whole > size) {
                m_Continuations = at + whole - size;
                at = size;
                break;
            }
            used = at;
            return Done(false);
        }
        used = size;
        return Scan();
    }

    Ask OnEnd() override { return Done(false); }

private:
    void Kind(const uint8_t* bytes, size_t size)
    {
        std::string start(reinterpret_cast<const char*>(bytes), std::min<size_t>(size, 64));
        std::transform(start.begin(), start.end(), start.begin(), [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
        if (start.compare(0, 5, "<?xml") == 0)
            SetExtension("xml");
        else if (start.compare(0, 14, "<!doctype html") == 0 || start.compare(0, 5, "<html") == 0)
            SetExtension("html");
    }

    size_t m_Continuations = 0;
};

class CRtfStream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override { return Scan(); }

    Ask OnBytes(const uint8_t*, size_t) override { return Scan(); }

    Ask OnScan(const uint8_t* bytes, size_t size, size_t& used) override
    {
        for (size_t i = 0; i < size; ++i) {
            const uint8_t b = bytes[i];
            if (m_Word) {
                // A control word: letters, then an optional number.
                if (std::isalpha(b) && m_Number < 0 && m_Letters.size() < 32) {
                    m_Letters += static_cast<char>(b);
                    continue;
                }
                if (std::isdigit(b) && m_Number < 1000000000) {
                    m_Number = (m_Number < 0 ? 0 : m_Number) * 10 + (b - '0');
                    continue;
                }
                m_Word = false;
                const bool binary = m_Letters == "bin" && m_Number > 0;
                const int64_t count = m_Number;
                m_Letters.clear();
                m_Number = -1;
                if (binary) {
                    // \binN: N bytes of anything, after the space that ends
                    // the word.
                    used = i + (b == ' ' ? 1 : 0);
                    return Skip(static_cast<uint64_t>(count));
                }
                if (b == ' ')
                    continue;
            }
            if (b == 0) {
                used = i;
                return Fail("a zero inside it");
            }
            if (m_Escaped) {
                m_Escaped = false;
                if (std::isalpha(b)) {
                    m_Word = true;
                    m_Letters = static_cast<char>(b);
                }
                continue;
            }
            if (b == '\\')
                m_Escaped = true;
            else if (b == '{')
                ++m_Depth;
            else if (b == '}' && --m_Depth == 0) {
                used = i + 1;
                return Done(true);
            }
        }
        used = size;
        return Scan();
    }

private:
    uint64_t m_Depth = 0;
    bool m_Escaped = false;
    bool m_Word = false;
    std::string m_Letters;
    int64_t m_Number = -1;
};

} // namespace

bool ZelMatchesText(const uint8_t* bytes, size_t size)
{
    const size_t looked = std::min(size, kLooked);
    size_t at = 0;
    while (at < looked) {
        const size_t length = TextCharacter(bytes + at, size - at);
        if (length == 0)
            break;
        at += length;
    }
    // Text to the end of the sector, or a shorter text ended by zeros.
    if (at >= looked)
        return true;
    return at >= kMinText && std::all_of(bytes + at, bytes + looked, [](uint8_t b) { return b == 0; });
}

std::unique_ptr<CZelCarveStream> ZelMakeTextStream(uint64_t bound)
{
    return std::make_unique<CTextStream>(bound);
}

bool ZelMatchesRtf(const uint8_t* bytes, size_t size)
{
    return size >= 6 && std::memcmp(bytes, "{\\rtf", 5) == 0;
}

std::unique_ptr<CZelCarveStream> ZelMakeRtfStream(uint64_t bound)
{
    return std::make_unique<CRtfStream>(bound);
}
