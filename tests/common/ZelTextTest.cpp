#include "jexcommon/ZelText.h"

#include <gtest/gtest.h>

TEST(ZelText, RoundTripsKeepEveryCharacter)
{
    const std::wstring names[] = {
        L"report.doc", L"Fr\u00fchling.jpg", L"\u0444\u043e\u0442\u043e.png", L"\u5199\u771f.heic",
        L"smile \U0001F600.txt", L"",
    };
    for (const std::wstring& name : names) {
        std::string narrow = ZelWideToNarrow(name);
        EXPECT_EQ(ZelNarrowToWide(narrow), name);
    }
    // Lengths differ: the narrow form is UTF-8.
    EXPECT_EQ(ZelWideToNarrow(L"\u00e9"), "\xC3\xA9");
    EXPECT_EQ(ZelWideToNarrow(L"\U0001F600"), "\xF0\x9F\x98\x80");
}

TEST(ZelText, InvalidUtf8BytesReadAsWindows1252)
{
    // A deleted short name starts with 0xE5.
    EXPECT_EQ(ZelNarrowToWide(std::string("\xE5" "OTO    JPG")), L"\u00e5OTO    JPG");
    EXPECT_EQ(ZelNarrowToWide(std::string("\x80\x9F\xFF")), L"\u20ac\u0178\u00ff");
    // Overlong forms, encoded surrogates and truncated sequences are not UTF-8.
    EXPECT_EQ(ZelNarrowToWide(std::string("\xC0\xAF")), L"\u00c0\u00af");
    EXPECT_EQ(ZelNarrowToWide(std::string("\xED\xA0\x80")), L"\u00ed\u00a0\u20ac");
    EXPECT_EQ(ZelNarrowToWide(std::string("a\xE2\x82")), L"a\u00e2\u201a");
    EXPECT_EQ(ZelNarrowToWide(static_cast<const char*>(nullptr)), L"");
}

TEST(ZelText, WideValuesThatAreNotCharactersBecomeReplacement)
{
    std::wstring bad;
    bad.push_back(static_cast<wchar_t>(0xD800));
    bad.push_back(L'x');
    bad.push_back(static_cast<wchar_t>(0x110000));
    EXPECT_EQ(ZelWideToNarrow(bad), "\xEF\xBF\xBDx\xEF\xBF\xBD");
}

TEST(ZelText, Utf16CombinesSurrogatePairs)
{
    const char16_t pair[] = {u'a', 0xD83D, 0xDE00, u'b'};
    EXPECT_EQ(ZelUtf16ToWide(pair, 4), L"a\U0001F600b");
    const char16_t lone[] = {0xDE00, u'x', 0xD83D};
    EXPECT_EQ(ZelUtf16ToWide(lone, 3), L"\ufffdx\ufffd");
    const char16_t swapped[] = {0xDE00, 0xD83D};
    EXPECT_EQ(ZelUtf16ToWide(swapped, 2), L"\ufffd\ufffd");
}
