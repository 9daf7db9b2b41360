// Entry groups parsed from directory bytes, as the walker hands them over.
#include "fat32/Fat32EntryGroup.h"
#include "support/FatImageBuilder.h"

#include <gtest/gtest.h>

using jextest::FatEntryBytes;
using jextest::FatImageBuilder;

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<FatEntryBytes> entries)
{
    std::vector<uint8_t> bytes;
    for (const FatEntryBytes& e : entries)
        bytes.insert(bytes.end(), e.begin(), e.end());
    return bytes;
}

// The long-name entries of name, last piece first, as they precede a short
// entry.
std::vector<FatEntryBytes> LongEntries(const std::u16string& name)
{
    auto slices = FatImageBuilder::LongNameSlices(name);
    std::vector<FatEntryBytes> entries;
    for (size_t i = slices.size(); i-- > 0;)
        entries.push_back(FatImageBuilder::LongEntry(
            static_cast<uint8_t>((i + 1) | (i + 1 == slices.size() ? 0x40 : 0)), slices[i]));
    return entries;
}

FatGroupParse Parse(const std::vector<uint8_t>& bytes, CFatEntryGroup& group, size_t from = 0)
{
    return ZelParseFatEntryGroup(bytes.data() + from, bytes.size() - from, group);
}

} // namespace

TEST(Fat32EntryGroup, ShortEntryAloneAndWithItsLongName)
{
    CFatEntryGroup group;
    auto lone = Bytes({FatImageBuilder::ShortEntry("README  TXT", 0x20, 7, 123)});
    ASSERT_EQ(Parse(lone, group), FatGroupParse::Group);
    EXPECT_EQ(group.entryCount, 1u);
    EXPECT_FALSE(group.deleted);
    ASSERT_TRUE(group.hasShortEntry);
    EXPECT_EQ(group.shortEntry.ShortName(), "README.TXT");
    EXPECT_EQ(group.shortEntry.firstCluster, 7u);
    EXPECT_EQ(group.shortEntry.fileSize, 123u);
    EXPECT_EQ(group.type, FatEntryFile);
    EXPECT_TRUE(group.longName.empty());

    // 27 characters: three long-name entries, the last one padded.
    std::u16string name = u"Sonnenuntergang am Meer.png";
    std::vector<uint8_t> bytes;
    for (const FatEntryBytes& e : LongEntries(name))
        bytes.insert(bytes.end(), e.begin(), e.end());
    auto shortEntry = FatImageBuilder::ShortEntry("SONNEN~1PNG", 0x20, 9, 42847);
    bytes.insert(bytes.end(), shortEntry.begin(), shortEntry.end());
    auto next = FatImageBuilder::ShortEntry("NEXT       ", 0x10, 11, 0);
    bytes.insert(bytes.end(), next.begin(), next.end());
    ASSERT_EQ(Parse(bytes, group), FatGroupParse::Group);
    EXPECT_EQ(group.entryCount, 4u);
    EXPECT_EQ(group.longName, name);
    EXPECT_EQ(group.shortEntry.ShortName(), "SONNEN~1.PNG");
    // The entry after the group starts the next one.
    ASSERT_EQ(Parse(bytes, group, 4 * 32), FatGroupParse::Group);
    EXPECT_EQ(group.type, FatEntryDirectory);
    EXPECT_EQ(group.shortEntry.ShortName(), "NEXT");
}

TEST(Fat32EntryGroup, DeletedGroupsAndLeftoversOfOthers)
{
    CFatEntryGroup group;
    std::vector<uint8_t> deleted;
    for (const FatEntryBytes& e : LongEntries(u"Brief an Oma.txt")) {
        FatEntryBytes marked = FatImageBuilder::Deleted(e);
        deleted.insert(deleted.end(), marked.begin(), marked.end());
    }
    auto shortEntry = FatImageBuilder::Deleted(FatImageBuilder::ShortEntry("BRIEFA~1TXT", 0x20, 5, 94890));
    deleted.insert(deleted.end(), shortEntry.begin(), shortEntry.end());
    ASSERT_EQ(Parse(deleted, group), FatGroupParse::Group);
    EXPECT_TRUE(group.deleted);
    EXPECT_EQ(group.entryCount, 3u);
    EXPECT_EQ(group.longName, u"Brief an Oma.txt");
    EXPECT_EQ(group.shortEntry.ShortName(), "_RIEFA~1.TXT");

    // A deleted name left in front of a live entry that took the slot after
    // it: the name is a group of its own, without a short entry, and the
    // live entry keeps its own (empty) long name.
    auto leftover = Bytes({FatImageBuilder::Deleted(FatImageBuilder::LongEntry(0x41, u"old name.txt")),
                           FatImageBuilder::ShortEntry("LIVE    TXT", 0x20, 31, 10)});
    ASSERT_EQ(Parse(leftover, group), FatGroupParse::Group);
    EXPECT_EQ(group.entryCount, 1u);
    EXPECT_TRUE(group.deleted);
    EXPECT_FALSE(group.hasShortEntry);
    EXPECT_EQ(group.type, FatEntryOther);
    ASSERT_EQ(Parse(leftover, group, 32), FatGroupParse::Group);
    EXPECT_FALSE(group.deleted);
    EXPECT_TRUE(group.longName.empty());
    EXPECT_EQ(group.shortEntry.ShortName(), "LIVE.TXT");
}

TEST(Fat32EntryGroup, WhereTheDirectoryEndsOrNeedsItsNextCluster)
{
    CFatEntryGroup group;
    EXPECT_EQ(ZelParseFatEntryGroup(nullptr, 0, group), FatGroupParse::NeedMore);
    std::vector<uint8_t> end(32, 0);
    EXPECT_EQ(Parse(end, group), FatGroupParse::End);
    // A first cluster past the last valid one ends the directory.
    EXPECT_EQ(Parse(Bytes({FatImageBuilder::ShortEntry("BAD     BIN", 0x20, 0x0FFFFFF8, 1)}), group),
              FatGroupParse::End);

    // Long-name entries at the end of the bytes: the rest of the group is in
    // the next cluster.
    auto entries = LongEntries(u"a name that is long.txt");
    auto cut = Bytes({entries[0]});
    EXPECT_EQ(Parse(cut, group), FatGroupParse::NeedMore);
    // A partial entry is not read.
    auto partial = Bytes({entries[0], entries[1]});
    partial.resize(partial.size() - 1);
    EXPECT_EQ(Parse(partial, group), FatGroupParse::NeedMore);
    // An end marker or an impossible cluster inside the group ends it all.
    EXPECT_EQ(Parse(Bytes({entries[0], entries[1], FatEntryBytes{}}), group), FatGroupParse::End);
    EXPECT_EQ(Parse(Bytes({entries[0], entries[1], FatImageBuilder::ShortEntry("ANAMET~1TXT", 0x20, 0x0FFFFFFF, 5)}),
                    group),
              FatGroupParse::End);
}

TEST(Fat32EntryGroup, OddLongNameEntriesAndNamesTooLong)
{
    CFatEntryGroup group;
    // Attribute bits beyond those of a long-name entry: a group of one, of
    // the kind the bits say (here a volume label), which no walk keeps.
    auto odd = FatImageBuilder::LongEntry(0x41, u"label");
    odd[11] = 0x4F;
    ASSERT_EQ(Parse(Bytes({odd, FatImageBuilder::ShortEntry("A       TXT", 0x20, 3, 1)}), group),
              FatGroupParse::Group);
    EXPECT_EQ(group.entryCount, 1u);
    EXPECT_EQ(group.type, FatEntryVolumeLabel);

    // A long-name entry whose type byte is set ends its group.
    auto typed = FatImageBuilder::LongEntry(0x41, u"typed");
    typed[12] = 1;
    ASSERT_EQ(Parse(Bytes({typed, FatImageBuilder::ShortEntry("A       TXT", 0x20, 3, 1)}), group),
              FatGroupParse::Group);
    EXPECT_EQ(group.entryCount, 1u);
    EXPECT_FALSE(group.hasShortEntry);

    // 25 pieces: all are read past, 20 make the name.
    std::vector<uint8_t> many;
    for (int i = 25; i >= 1; --i) {
        auto e = FatImageBuilder::LongEntry(static_cast<uint8_t>(i), std::u16string(13, static_cast<char16_t>(u'a' + i % 26)));
        many.insert(many.end(), e.begin(), e.end());
    }
    auto shortEntry = FatImageBuilder::ShortEntry("LONG    TXT", 0x20, 3, 1);
    many.insert(many.end(), shortEntry.begin(), shortEntry.end());
    ASSERT_EQ(Parse(many, group), FatGroupParse::Group);
    EXPECT_EQ(group.entryCount, 26u);
    EXPECT_EQ(group.longName.size(), kFatMaxLongNameEntries * 13);
    EXPECT_EQ(group.shortEntry.ShortName(), "LONG.TXT");
}
