#include "jexfscore/ZelString.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cwchar>

TEST(ZelString, EmptyStringsAndTheirSizes)
{
    CZelStringA narrow;
    EXPECT_EQ(narrow.GetBuffer(), nullptr);
    EXPECT_EQ(narrow.GetLength(), 0);
    EXPECT_EQ(narrow.GetByteSize(), 0);
    EXPECT_EQ(narrow.Duplicate(), nullptr);

    // The wide string starts as an empty text rather than null.
    CZelStringW wide;
    ASSERT_NE(wide.GetBuffer(), nullptr);
    EXPECT_EQ(wide.GetLength(), 0);
    EXPECT_EQ(wide.GetByteSize(), static_cast<int32_t>(sizeof(wchar_t)));

    CZelStringA text("abc");
    EXPECT_EQ(text.GetLength(), 3);
    EXPECT_EQ(text.GetByteSize(), 4);
    CZelStringW wtext(L"abc");
    EXPECT_EQ(wtext.GetByteSize(), static_cast<int32_t>(4 * sizeof(wchar_t)));

    // The base class knows no length.
    CZelStringT<char>& base = text;
    EXPECT_EQ(base.CZelStringT<char>::GetLength(), 0);
}

TEST(ZelString, AtOutOfRangeGivesAnEmptyText)
{
    CZelStringA text("abc");
    EXPECT_EQ(*text.At(0), 'a');
    EXPECT_EQ(*text.At(2), 'c');
    EXPECT_EQ(*text.At(-1), '\0');
    EXPECT_EQ(*text.At(3), '\0');
    CZelStringA empty;
    EXPECT_EQ(*empty.At(0), '\0');
    CZelStringW wide(L"\u00e9t\u00e9");
    EXPECT_EQ(*wide.At(2), L'\u00e9');
    EXPECT_EQ(*wide.At(3), L'\0');
}

TEST(ZelString, AppendJoinsAndCopiesIntoEmpty)
{
    CZelStringA empty;
    empty.Append(CZelStringA("first"));
    EXPECT_STREQ(empty.GetBuffer(), "first");

    CZelStringW wideEmpty(static_cast<const wchar_t*>(nullptr));
    EXPECT_EQ(wideEmpty.GetBuffer(), nullptr);
    wideEmpty.Append(CZelStringW(L"x"));
    EXPECT_STREQ(wideEmpty.GetBuffer(), L"x");

    CZelStringA joined("DCIM");
    joined.Append(CZelStringA("/IMG_0001.JPG"));
    EXPECT_STREQ(joined.GetBuffer(), "DCIM/IMG_0001.JPG");
    EXPECT_EQ(joined.GetLength(), 17);

    // Appending nothing changes nothing; appending to itself doubles.
    joined.Append(CZelStringA());
    EXPECT_STREQ(joined.GetBuffer(), "DCIM/IMG_0001.JPG");
    CZelStringA twice("ab");
    twice.Append(twice);
    EXPECT_STREQ(twice.GetBuffer(), "abab");
}

TEST(ZelString, AssignEmptySetDataAndCopies)
{
    CZelStringA text("old");
    text.Assign(CZelStringA("new text"));
    EXPECT_STREQ(text.GetBuffer(), "new text");

    text.Empty();
    EXPECT_EQ(text.GetBuffer(), nullptr);

    text.AssignBase(CZelStringA("base"));
    EXPECT_STREQ(text.GetBuffer(), "base");
    text.AppendBase(CZelStringA("ignored"));
    EXPECT_STREQ(text.GetBuffer(), "base");

    const char bytes[] = "\xE5" "DELETED";
    text.SetData(bytes, sizeof bytes);
    EXPECT_EQ(text.GetLength(), 8);
    EXPECT_EQ(static_cast<unsigned char>(*text.At(0)), 0xE5);
    text.SetData(nullptr, 10);
    EXPECT_EQ(text.GetBuffer(), nullptr);

    CZelStringW original(L"Fotos");
    CZelStringW copy(original);
    original.Assign(CZelStringW(L"changed"));
    EXPECT_STREQ(copy.GetBuffer(), L"Fotos");
    copy = original;
    EXPECT_STREQ(copy.GetBuffer(), L"changed");
    EXPECT_NE(copy.GetBuffer(), original.GetBuffer());

    CZelStringA counted("abcdef", 3);
    EXPECT_STREQ(counted.GetBuffer(), "abc");

    char* duplicate = counted.Duplicate();
    ASSERT_NE(duplicate, nullptr);
    EXPECT_STREQ(duplicate, "abc");
    EXPECT_NE(duplicate, counted.GetBuffer());
    std::free(duplicate);
}
