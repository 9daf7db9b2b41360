// Conversion between the core's narrow text (always UTF-8) and wide text
// (wchar_t, UTF-32), and decoding of UTF-16 read from disk.
#pragma once

#include <cstddef>
#include <string>

// Encodes every character as UTF-8. A value that is not a Unicode scalar
// value (a surrogate, or above U+10FFFF) is written as U+FFFD.
std::string ZelWideToNarrow(const std::wstring& wide);
std::string ZelWideToNarrow(const wchar_t* wide);

// Decodes UTF-8. A byte that does not start a valid UTF-8 sequence becomes
// the Windows-1252 character of that byte, so "\xE5" reads as U+00E5.
std::wstring ZelNarrowToWide(const std::string& narrow);
std::wstring ZelNarrowToWide(const char* narrow);

// Whether text is well-formed UTF-8 throughout.
bool ZelIsUtf8(const std::string& text);

// Decodes count UTF-16 code units, combining surrogate pairs; a lone
// surrogate becomes U+FFFD.
std::wstring ZelUtf16ToWide(const char16_t* units, size_t count);

// Narrow (UTF-8) text as UTF-16, characters past U+FFFF as surrogate pairs.
std::u16string ZelNarrowToUtf16(const std::string& narrow);
