#include "filters/EngineCheckFiles.h"
#include "filters/ZelCheckFileConvert.h"
#include "filters/ZelCheckFileConverters.h"
#include "filters/ZelCheckFileDescriptions.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

namespace {

// Entries as the engines hand them to filters: names and a size.
class FatEntry : public CDirEntryInterface {
public:
    FatEntry(const char* shortName, const wchar_t* longName, uint32_t size)
        : m_Short(shortName), m_Size(size)
    {
        if (longName != nullptr)
            m_Long = CZelStringW(longName);
        else
            m_Long.Clear();
    }
    bool IsDeleted() const override { return true; }
    uint8_t GetAttributes() const override { return 0x20; }
    const CZelStringA& GetShortName() const override { return m_Short; }
    const CZelStringW& GetLongName() const override { return m_Long; }
    uint64_t GetDataOffset() const override { return 0; }
    uint64_t GetEntryOffset() const override { return 0; }
    FatEntryType GetType() const override { return FatEntryFile; }
    uint32_t GetChildCount() const override { return 0; }
    const CDirEntryInterface* GetChild(uint32_t) const override { return nullptr; }
    const CDirEntryInterface* GetParent() const override { return nullptr; }
    uint32_t GetSize() const override { return m_Size; }

private:
    CZelStringA m_Short;
    CZelStringW m_Long;
    uint32_t m_Size;
};

class NtfsEntry : public CNtfsEntryInterface {
public:
    NtfsEntry(const wchar_t* name, uint64_t size) : m_Name(name), m_Size(size) {}
    uint8_t GetFlags() const override { return 0; }
    uint32_t GetAttributes() const override { return 0; }
    const char* GetNameA() const override { return nullptr; }
    const wchar_t* GetNameW() const override { return m_Name; }
    const wchar_t* GetParentPathW() const override { return nullptr; }
    int32_t GetKind() const override { return 1; }
    uint64_t GetSize() const override { return m_Size; }

private:
    const wchar_t* m_Name;
    uint64_t m_Size;
};

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

bool FatMatches(const boost::shared_ptr<CZelCheckFile>& description, const FatEntry& entry)
{
    auto filter = ZelConvertForFat32(description);
    EXPECT_TRUE(filter);
    return filter && filter->Check(&entry);
}

bool FatLong(const boost::shared_ptr<CZelCheckFile>& description, const wchar_t* name, uint32_t size = 1000)
{
    return FatMatches(description, FatEntry("X.Y", name, size));
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
    EXPECT_TRUE(FatLong(range, L"a", 101));
    EXPECT_TRUE(FatLong(range, L"a", 199));
    EXPECT_FALSE(FatLong(range, L"a", 100));
    EXPECT_FALSE(FatLong(range, L"a", 200));
    EXPECT_FALSE(FatLong(range, L"a", 0));
    // The largest FAT32 size passes the widest range; an empty file does not.
    auto widest = Make(ZelCheckFileSizeRange);
    EXPECT_TRUE(FatLong(widest, L"a", 4294967295u));
    EXPECT_FALSE(FatLong(widest, L"a", 0));
    auto ntfs = ZelConvertForNtfs(SizeRange(4294967295u, UINT64_MAX));
    ASSERT_TRUE(ntfs);
    NtfsEntry large(L"film.mkv", 5000000000ull);
    EXPECT_TRUE(ntfs->Check(&large));
    EXPECT_FALSE(ntfs->Check(nullptr));
}

TEST(Filter, ExtensionsMatchIgnoringLetterCase)
{
    auto doc = Make(ZelCheckFileExtension);
    doc->SetParam(L"Extension", L"doc");
    EXPECT_TRUE(FatLong(doc, L"report.doc"));
    EXPECT_TRUE(FatLong(doc, L"REPORT.DOC"));
    EXPECT_FALSE(FatLong(doc, L"archive.doc.zip"));
    EXPECT_TRUE(FatLong(doc, L"doc"));
    EXPECT_FALSE(FatLong(doc, L"mydoc"));
    // Only ASCII letters fold: "Ä" is not "ä".
    auto umlaut = Make(ZelCheckFileExtension);
    umlaut->SetParam(L"Extension", L"\u00e4");
    EXPECT_FALSE(FatLong(umlaut, L"x.\u00c4"));
    EXPECT_TRUE(FatLong(umlaut, L"x.\u00e4"));

    // Without a long name the 8.3 name is used, as cameras write it.
    auto jpg = Extensions({L"jpg", L"jpeg"});
    EXPECT_TRUE(FatMatches(jpg, FatEntry("\xE5MG_0001.JPG", nullptr, 5000)));
    EXPECT_TRUE(FatMatches(jpg, FatEntry("\xE5MG_0001.JPG", L"", 5000)));
    EXPECT_FALSE(FatMatches(jpg, FatEntry("README.", nullptr, 5000)));
    EXPECT_FALSE(FatMatches(jpg, FatEntry("", nullptr, 5000)));

    auto ntfs = ZelConvertForNtfs(jpg);
    ASSERT_TRUE(ntfs);
    NtfsEntry photo(L"Urlaub.JPEG", 10);
    NtfsEntry nameless(nullptr, 10);
    EXPECT_TRUE(ntfs->Check(&photo));
    EXPECT_FALSE(ntfs->Check(&nameless));
}

TEST(Filter, ListsAndGroups)
{
    auto office = Extensions({L"doc", L"xls"});
    EXPECT_TRUE(FatLong(office, L"a.xls"));
    EXPECT_FALSE(FatLong(office, L"a.ppt"));
    EXPECT_FALSE(FatLong(Extensions({}), L"a.doc"));
    office->SetParam(L"RemoveAll", 0);
    EXPECT_FALSE(FatLong(office, L"a.xls"));

    // A group of a list and a range needs both; an empty group takes all.
    auto group = Make(ZelCheckFileAnd);
    group->SetParam(L"Add", Extensions({L"mp3", L"flac"}));
    group->SetParam(L"Add", SizeRange(1000, 5000));
    group->SetParam(L"Add", boost::shared_ptr<CZelCheckFile>());
    EXPECT_TRUE(FatLong(group, L"song.FLAC", 3000));
    EXPECT_FALSE(FatLong(group, L"song.flac", 6000));
    EXPECT_FALSE(FatLong(group, L"song.ogg", 3000));
    EXPECT_TRUE(FatLong(Make(ZelCheckFileAnd), L"anything", 0));

    // Nested groups are not converted: their members do not apply.
    auto outer = Make(ZelCheckFileAnd);
    auto inner = Make(ZelCheckFileAnd);
    inner->SetParam(L"Add", Extensions({L"mp3"}));
    outer->SetParam(L"Add", inner);
    EXPECT_TRUE(FatLong(outer, L"a.txt"));

    group->SetParam(L"RemoveAll", 0);
    EXPECT_TRUE(FatLong(group, L"song.ogg", 3000));
}

TEST(Filter, ConvertersAcceptOnlyTheirKind)
{
    EXPECT_FALSE(ZelCreateCheckFileConverter(8));
    for (uint32_t code = 0; code < 8; ++code) {
        auto converter = ZelCreateCheckFileConverter(code);
        ASSERT_TRUE(converter) << code;
        // The size converters refuse an extension description, the others
        // a size description.
        auto other = (code % 4 == 3) ? Extensions({L"a"}) : SizeRange(1, 2);
        EXPECT_FALSE(converter->Convert(other)) << code;
        EXPECT_FALSE(converter->Convert(boost::shared_ptr<CZelCheckFile>())) << code;
    }
    EXPECT_FALSE(ZelConvertForFat32(boost::shared_ptr<CZelCheckFile>()));
    EXPECT_FALSE(ZelConvertForNtfs(boost::shared_ptr<CZelCheckFile>()));
    // The FAT32 converters hand out FAT32 filters only.
    auto any = ZelCreateCheckFileConverter(ZelConvertSizeToFat32)->Convert(SizeRange(1, 2));
    ASSERT_TRUE(any);
    EXPECT_NO_THROW(boost::any_cast<boost::shared_ptr<CFat32CheckFile>>(*any));
    EXPECT_THROW(boost::any_cast<boost::shared_ptr<CNtfsCheckFile>>(*any), boost::bad_any_cast);
}
