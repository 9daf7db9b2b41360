#include "filters/EngineCheckFiles.h"
#include "filters/ZelCheckFileConvert.h"
#include "filters/ZelCheckFileDescriptions.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

namespace {

// Entries as the engines show them to filters: names and a size.
CZelFoundEntryView Entry(const wchar_t* wideName, const char* narrowName, uint64_t size)
{
    CZelFoundEntryView view;
    view.wideName = wideName;
    view.narrowName = narrowName;
    view.size = size;
    return view;
}

boost::shared_ptr<CZelCheckFile> Make(uint32_t type)
{
    return CZelCheckFileCreatorImpl().CreateCheckFile(type);
}

boost::shared_ptr<CZelCheckFile> Extensions(std::initializer_list<const wchar_t*> list)
{
    auto exts = Make(ZelCheckFileExtensions);
    for (const wchar_t* e : list)
        exts->SetParam(L"Add", e);
    return exts;
}

boost::shared_ptr<CZelCheckFile> SizeRange(uint64_t minimum, uint64_t maximum)
{
    auto size = Make(ZelCheckFileSizeRange);
    size->SetParam(L"Min", minimum);
    size->SetParam(L"Max", maximum);
    return size;
}

bool Matches(const boost::shared_ptr<CZelCheckFile>& description, const CZelFoundEntryView& entry)
{
    auto filter = ZelConvertForEngine(description);
    EXPECT_TRUE(filter);
    return filter && filter->Check(&entry);
}

bool Named(const boost::shared_ptr<CZelCheckFile>& description, const wchar_t* name, uint64_t size = 1000)
{
    return Matches(description, Entry(name, "X.Y", size));
}

} // namespace

TEST(Filter, DescriptionsAndTheirParameters)
{
    EXPECT_FALSE(Make(4));
    EXPECT_FALSE(Make(1000));

    auto size = Make(ZelCheckFileSizeRange);
    size->SetParam(L"Min", int32_t(50)); // not an unsigned 64-bit value: ignored
    size->SetParam(L"Max", uint64_t(200));
    size->SetParam(L"min", uint64_t(7)); // names are case-sensitive
    EXPECT_EQ(boost::any_cast<uint64_t>(*size->GetParam(L"Min")), 0u);
    EXPECT_EQ(boost::any_cast<uint64_t>(*size->GetParam(L"Max")), 200u);
    EXPECT_FALSE(size->GetParam(L"Extension"));

    auto ext = Make(ZelCheckFileExtension);
    ext->SetParam(L"Extension", L"doc");
    ext->SetParam(L"Extension", static_cast<const wchar_t*>(nullptr));
    ext->SetParam(L"Extension", std::wstring(L"not a pointer"));
    EXPECT_EQ(boost::any_cast<std::wstring>(*ext->GetParam(L"Extension")), L"doc");

    auto exts = Extensions({L"doc"});
    EXPECT_FALSE(exts->GetParam(L"Extension"));
    EXPECT_FALSE(exts->GetParam(L"Add"));
}

TEST(Filter, SizeBoundsAreExclusive)
{
    auto range = SizeRange(100, 200);
    EXPECT_TRUE(Named(range, L"a", 101));
    EXPECT_TRUE(Named(range, L"a", 199));
    EXPECT_FALSE(Named(range, L"a", 100));
    EXPECT_FALSE(Named(range, L"a", 200));
    EXPECT_FALSE(Named(range, L"a", 0));
    // The largest FAT32 size passes the widest range, and so does an empty
    // file while no minimum is given; a minimum of 0 leaves it out.
    auto widest = Make(ZelCheckFileSizeRange);
    EXPECT_TRUE(Named(widest, L"a", 4294967295u));
    EXPECT_TRUE(Named(widest, L"a", 0));
    widest->SetParam(L"Min", uint64_t(0));
    EXPECT_FALSE(Named(widest, L"a", 0));
    auto large = ZelConvertForEngine(SizeRange(4294967295u, UINT64_MAX));
    ASSERT_TRUE(large);
    CZelFoundEntryView film = Entry(L"film.mkv", nullptr, 5000000000ull);
    EXPECT_TRUE(large->Check(&film));
    EXPECT_FALSE(large->Check(nullptr));
}

TEST(Filter, ExtensionsMatchIgnoringLetterCase)
{
    auto doc = Make(ZelCheckFileExtension);
    doc->SetParam(L"Extension", L"doc");
    EXPECT_TRUE(Named(doc, L"report.doc"));
    EXPECT_TRUE(Named(doc, L"REPORT.DOC"));
    EXPECT_FALSE(Named(doc, L"archive.doc.zip"));
    EXPECT_TRUE(Named(doc, L"doc"));
    EXPECT_FALSE(Named(doc, L"mydoc"));
    // Only ASCII letters fold: "Ä" is not "ä".
    auto umlaut = Make(ZelCheckFileExtension);
    umlaut->SetParam(L"Extension", L"\u00e4");
    EXPECT_FALSE(Named(umlaut, L"x.\u00c4"));
    EXPECT_TRUE(Named(umlaut, L"x.\u00e4"));

    // Without a wide name the narrow one is used, as an 8.3-only entry of a
    // camera has it.
    auto jpg = Extensions({L"jpg", L"jpeg"});
    EXPECT_TRUE(Matches(jpg, Entry(nullptr, "\xE5MG_0001.JPG", 5000)));
    EXPECT_TRUE(Matches(jpg, Entry(L"", "\xE5MG_0001.JPG", 5000)));
    EXPECT_FALSE(Matches(jpg, Entry(nullptr, "README.", 5000)));
    EXPECT_FALSE(Matches(jpg, Entry(nullptr, "", 5000)));
    EXPECT_TRUE(Matches(jpg, Entry(L"Urlaub.JPEG", nullptr, 10)));
    EXPECT_FALSE(Matches(jpg, Entry(nullptr, nullptr, 10)));
}

TEST(Filter, ListsAndGroups)
{
    auto office = Extensions({L"doc", L"xls"});
    EXPECT_TRUE(Named(office, L"a.xls"));
    EXPECT_FALSE(Named(office, L"a.ppt"));
    EXPECT_FALSE(Named(Extensions({}), L"a.doc"));
    office->SetParam(L"RemoveAll", 0);
    EXPECT_FALSE(Named(office, L"a.xls"));

    // A group of a list and a range needs both; an empty group takes all.
    auto group = Make(ZelCheckFileAnd);
    group->SetParam(L"Add", Extensions({L"mp3", L"flac"}));
    group->SetParam(L"Add", SizeRange(1000, 5000));
    group->SetParam(L"Add", boost::shared_ptr<CZelCheckFile>());
    EXPECT_TRUE(Named(group, L"song.FLAC", 3000));
    EXPECT_FALSE(Named(group, L"song.flac", 6000));
    EXPECT_FALSE(Named(group, L"song.ogg", 3000));
    EXPECT_TRUE(Named(Make(ZelCheckFileAnd), L"anything", 0));

    // Nested groups are not converted: their members do not apply.
    auto outer = Make(ZelCheckFileAnd);
    auto inner = Make(ZelCheckFileAnd);
    inner->SetParam(L"Add", Extensions({L"mp3"}));
    outer->SetParam(L"Add", inner);
    EXPECT_TRUE(Named(outer, L"a.txt"));

    group->SetParam(L"RemoveAll", 0);
    EXPECT_TRUE(Named(group, L"song.ogg", 3000));
}

TEST(Filter, ConvertersAcceptOnlyTheirKind)
{
    EXPECT_FALSE(ZelCreateCheckFileConverter(4));
    for (uint32_t code = 0; code < 4; ++code) {
        auto converter = ZelCreateCheckFileConverter(code);
        ASSERT_TRUE(converter) << code;
        // The size converter refuses an extension description, the others
        // a size description.
        auto other = code == ZelConvertSize ? Extensions({L"a"}) : SizeRange(1, 2);
        EXPECT_FALSE(converter->Convert(other)) << code;
        EXPECT_FALSE(converter->Convert(boost::shared_ptr<CZelCheckFile>())) << code;
    }
    EXPECT_FALSE(ZelConvertForEngine(boost::shared_ptr<CZelCheckFile>()));
    // A converter hands out engine filters.
    auto any = ZelCreateCheckFileConverter(ZelConvertSize)->Convert(SizeRange(1, 2));
    ASSERT_TRUE(any);
    EXPECT_NO_THROW(boost::any_cast<boost::shared_ptr<CZelEngineCheckFile>>(*any));
}
