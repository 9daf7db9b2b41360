#include "jexcommon/ZelText.h"

#include <cstdint>

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Windows-1252 characters of the bytes 0x80 to 0x9F; the five bytes that
// code page leaves undefined map to the control character of the same value.
const char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

wchar_t Cp1252(unsigned char byte)
{
    if (byte >= 0x80 && byte < 0xA0)
        return static_cast<wchar_t>(kCp1252High[byte - 0x80]);
    return static_cast<wchar_t>(byte);
}

bool IsScalarValue(uint32_t cp)
{
    return cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
}

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (!IsScalarValue(cp))
        cp = kReplacement;
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Decodes one well-formed UTF-8 sequence at text[pos]; returns its length,
// or 0 when the bytes there are not one (overlong forms, surrogates and
// values above U+10FFFF are not).
size_t DecodeUtf8(const unsigned char* text, size_t length, size_t pos, uint32_t& cp)
{
    unsigned char lead = text[pos];
    size_t need;
    uint32_t minimum;
    if (lead < 0x80) {
        cp = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        need = 1;
        minimum = 0x80;
        cp = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 2;
        minimum = 0x800;
        cp = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 3;
        minimum = 0x10000;
        cp = lead & 0x07;
    } else {
        return 0;
    }
    if (length - pos <= need)
        return 0;
    for (size_t i = 1; i <= need; ++i) {
        unsigned char c = text[pos + i];
        if ((c & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < minimum || !IsScalarValue(cp))
        return 0;
    return need + 1;
}

} // namespace

std::string ZelWideToNarrow(const std::wstring& wide)
{
    std::string out;
    out.reserve(wide.size());
    for (wchar_t c : wide)
        AppendUtf8(out, static_cast<uint32_t>(c));
    return out;
}

std::string ZelWideToNarrow(const wchar_t* wide)
{
    return wide == nullptr ? std::string() : ZelWideToNarrow(std::wstring(wide));
}

std::wstring ZelNarrowToWide(const std::string& narrow)
{
    std::wstring out;
    out.reserve(narrow.size());
    const unsigned char* text = reinterpret_cast<const unsigned char*>(narrow.data());
    size_t length = narrow.size();
    size_t pos = 0;
    while (pos < length) {
        uint32_t cp = 0;
        size_t used = DecodeUtf8(text, length, pos, cp);
        if (used == 0) {
            out.push_back(Cp1252(text[pos]));
            ++pos;
        } else {
            out.push_back(static_cast<wchar_t>(cp));
            pos += used;
        }
    }
    return out;
}

bool ZelIsUtf8(const std::string& text)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t pos = 0; pos < text.size();) {
        uint32_t cp = 0;
        size_t used = DecodeUtf8(bytes, text.size(), pos, cp);
        if (used == 0)
            return false;
        pos += used;
    }
    return true;
}

std::wstring ZelNarrowToWide(const char* narrow)
{
    return narrow == nullptr ? std::wstring() : ZelNarrowToWide(std::string(narrow));
}

std::wstring ZelUtf16ToWide(const char16_t* units, size_t count)
{
    std::wstring out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        uint32_t u = units[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            uint32_t low = units[i + 1];
            out.push_back(static_cast<wchar_t>(0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00)));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            out.push_back(static_cast<wchar_t>(kReplacement));
        } else {
            out.push_back(static_cast<wchar_t>(u));
        }
    }
    return out;
}

std::u16string ZelNarrowToUtf16(const std::string& narrow)
{
    std::wstring wide = ZelNarrowToWide(narrow);
    std::u16string out;
    out.reserve(wide.size());
    for (wchar_t c : wide) {
        uint32_t cp = static_cast<uint32_t>(c);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}
