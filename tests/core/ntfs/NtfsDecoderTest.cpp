#include "ntfs/NtfsFoundRecord.h"
#include "ntfs/NtfsIndexDecoder.h"
#include "ntfs/NtfsRecordDecoder.h"

#include "support/LittleEndian.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using jextest::Put16;
using jextest::Put32;
using jextest::Put64;

// An MFT record of 1024 bytes written attribute by attribute.
class RecordBuilder {
public:
    RecordBuilder() : bytes(1024, 0)
    {
        std::memcpy(bytes.data(), "FILE", 4);
        Put16(bytes, 20, 56);
        Put16(bytes, 22, 0); // not in use
        Put32(bytes, 28, 1024);
        next = 56;
    }
    // A resident attribute with value; returns its offset.
    size_t Resident(uint32_t type, const std::vector<uint8_t>& value, const std::u16string& name = u"")
    {
        size_t nameOffset = 24, valueOffset = (24 + 2 * name.size() + 7) & ~size_t(7);
        size_t length = (valueOffset + value.size() + 7) & ~size_t(7);
        size_t at = Header(type, length, false, name, nameOffset);
        Put32(bytes, at + 16, static_cast<uint32_t>(value.size()));
        Put16(bytes, at + 20, static_cast<uint16_t>(valueOffset));
        std::memcpy(&bytes[at + valueOffset], value.data(), value.size());
        return at;
    }
    size_t NonResident(uint32_t type, const std::vector<uint8_t>& pairs, uint64_t dataSize)
    {
        size_t length = (64 + pairs.size() + 7) & ~size_t(7);
        size_t at = Header(type, length, true, u"", 64);
        Put16(bytes, at + 32, 64);
        Put64(bytes, at + 40, (dataSize + 4095) & ~uint64_t(4095));
        Put64(bytes, at + 48, dataSize);
        Put64(bytes, at + 56, dataSize);
        std::memcpy(&bytes[at + 64], pairs.data(), pairs.size());
        return at;
    }
    std::vector<uint8_t> Finish()
    {
        Put32(bytes, next, 0xFFFFFFFF);
        Put32(bytes, 24, static_cast<uint32_t>(next + 8));
        return bytes;
    }

    std::vector<uint8_t> bytes;
    size_t next;

private:
    size_t Header(uint32_t type, size_t length, bool nonResident, const std::u16string& name, size_t nameOffset)
    {
        size_t at = next;
        Put32(bytes, at, type);
        Put32(bytes, at + 4, static_cast<uint32_t>(length));
        bytes[at + 8] = nonResident ? 1 : 0;
        bytes[at + 9] = static_cast<uint8_t>(name.size());
        Put16(bytes, at + 10, static_cast<uint16_t>(nameOffset));
        for (size_t i = 0; i < name.size(); ++i)
            Put16(bytes, at + nameOffset + 2 * i, name[i]);
        next += length;
        return at;
    }
};

std::vector<uint8_t> FileNameValue(const std::u16string& name, uint8_t nameSpace, uint64_t parent, uint64_t size)
{
    std::vector<uint8_t> v(66 + 2 * name.size(), 0);
    Put64(v, 0, parent);
    Put64(v, 40, size + 4096);
    Put64(v, 48, size);
    v[64] = static_cast<uint8_t>(name.size());
    v[65] = nameSpace;
    for (size_t i = 0; i < name.size(); ++i)
        Put16(v, 66 + 2 * i, name[i]);
    return v;
}

} // namespace

TEST(NtfsDecoder, MappingPairs)
{
    std::vector<CNtfsRun> runs;
    // 16 clusters at 0x1000, a sparse run of 8, then 4 clusters 0x100 back.
    const uint8_t pairs[] = {0x21, 0x10, 0x00, 0x10, 0x01, 0x08, 0x21, 0x04, 0x00, 0xFF, 0x00};
    ASSERT_TRUE(ZelDecodeMappingPairs(pairs, sizeof pairs, 0, runs));
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].lcn, 0x1000);
    EXPECT_EQ(runs[0].length, 16);
    EXPECT_EQ(runs[1].lcn, -1);
    EXPECT_EQ(runs[1].vcn, 16);
    EXPECT_EQ(runs[2].lcn, 0xF00);
    EXPECT_EQ(runs[2].vcn, 24);

    const std::vector<std::vector<uint8_t>> broken = {
        {0x20, 0x10, 0x00, 0x00},        // no length bytes
        {0x21, 0x10, 0x00},              // runs past the end
        {0x11, 0x10, 0x80, 0x00},        // a cluster before the volume
        {0x01, 0xF0, 0x00},              // a negative length
        {0x91, 0x10, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x00}, // offset wider than 8 bytes
        {0x21, 0x10, 0x00, 0x10},        // no terminator
        // A run whose end lies past the largest cluster number.
        {0x81, 0x10, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00},
    };
    for (const auto& b : broken) {
        runs.clear();
        EXPECT_FALSE(ZelDecodeMappingPairs(b.data(), b.size(), 0, runs)) << int(b[0]);
    }
}

TEST(NtfsDecoder, RecordWithNamesAndStreams)
{
    RecordBuilder r;
    std::vector<uint8_t> si(48, 0);
    Put64(si, 8, 133000000000000000ull);
    r.Resident(0x10, si);
    r.Resident(0x30, FileNameValue(u"LONGFI~1.TXT", 2, 0x0005000000000005ull, 5000));
    r.Resident(0x30, FileNameValue(u"Long file name.txt", 1, 0x0005000000000005ull, 5000));
    const uint8_t pairs[] = {0x11, 0x02, 0x40, 0x00};
    r.NonResident(0x80, std::vector<uint8_t>(pairs, pairs + 4), 5000);
    size_t named = r.Resident(0x80, std::vector<uint8_t>(26, 'z'), u"Zone.Identifier");
    auto bytes = r.Finish();

    CNtfsRecordFields record;
    ASSERT_TRUE(ZelDecodeMftRecord(bytes.data(), bytes.size(), record));
    EXPECT_FALSE(record.InUse());
    EXPECT_TRUE(record.hasStandardInformation);
    EXPECT_EQ(record.dataChangeTime, 133000000000000000ll);
    ASSERT_EQ(record.fileNames.size(), 2u);
    EXPECT_EQ(record.fileNames[1].name, u"Long file name.txt");
    EXPECT_EQ(record.fileNames[1].parentReference & 0xFFFFFFFFFFFFull, 5u);
    ASSERT_EQ(record.dataStreams.size(), 2u);
    EXPECT_FALSE(record.dataStreams[0].resident);
    EXPECT_EQ(record.dataStreams[0].dataSize, 5000u);
    ASSERT_EQ(record.dataStreams[0].runs.size(), 1u);
    EXPECT_EQ(record.dataStreams[0].runs[0].lcn, 0x40);
    EXPECT_TRUE(record.dataStreams[1].resident);
    EXPECT_EQ(record.dataStreams[1].name, u"Zone.Identifier");
    // The resident value's offset counts from the start of the record.
    EXPECT_EQ(bytes[record.dataStreams[1].valueOffset], 'z');
    EXPECT_GT(record.dataStreams[1].valueOffset, named);
    EXPECT_EQ(ZelNtfsTimeToUnix(133000000000000000ll), 1655526400);
}

TEST(NtfsDecoder, DamagedRecordsAreCutWhereTheyGoWrong)
{
    RecordBuilder r;
    r.Resident(0x30, FileNameValue(u"a.txt", 1, 5, 10));
    size_t second = r.Resident(0x30, FileNameValue(u"b.txt", 1, 5, 10));
    auto good = r.Finish();
    CNtfsRecordFields record;

    // An attribute longer than the record ends the walk before it.
    auto longAttribute = good;
    Put32(longAttribute, second + 4, 5000);
    ASSERT_TRUE(ZelDecodeMftRecord(longAttribute.data(), longAttribute.size(), record));
    EXPECT_EQ(record.fileNames.size(), 1u);

    // A name longer than its value is skipped.
    auto longName = good;
    size_t valueOffset = second + 24;
    longName[valueOffset + 64] = 200;
    ASSERT_TRUE(ZelDecodeMftRecord(longName.data(), longName.size(), record));
    EXPECT_EQ(record.fileNames.size(), 1u);

    // A zero-length attribute cannot make the walk stand still.
    auto zeroLength = good;
    Put32(zeroLength, second + 4, 0);
    ASSERT_TRUE(ZelDecodeMftRecord(zeroLength.data(), zeroLength.size(), record));
    EXPECT_EQ(record.fileNames.size(), 1u);

    auto noMagic = good;
    noMagic[0] = 'B';
    EXPECT_FALSE(ZelDecodeMftRecord(noMagic.data(), noMagic.size(), record));
    auto badOffset = good;
    Put16(badOffset, 20, 2000);
    EXPECT_FALSE(ZelDecodeMftRecord(badOffset.data(), badOffset.size(), record));
    EXPECT_FALSE(ZelDecodeMftRecord(good.data(), 30, record));
    // A record that claims more bytes in use than it has is read as far as
    // it goes.
    auto claimsMore = good;
    Put32(claimsMore, 24, 100000);
    ASSERT_TRUE(ZelDecodeMftRecord(claimsMore.data(), claimsMore.size(), record));
    EXPECT_EQ(record.fileNames.size(), 2u);
}

TEST(NtfsDecoder, AttributeListEntriesAndTheRecordsTheyName)
{
    // Two entries: $FILE_NAME in record 40, unnamed $DATA from VCN 300 in
    // record 41 (sequence 3); then one that runs past the list.
    std::vector<uint8_t> list(32 + 32, 0);
    Put32(list, 0, 0x30);
    Put16(list, 4, 32);
    Put64(list, 8, 0);
    Put64(list, 16, 40 | (uint64_t(2) << 48));
    Put32(list, 32, 0x80);
    Put16(list, 36, 32);
    Put64(list, 40, 300);
    Put64(list, 48, 41 | (uint64_t(3) << 48));
    std::vector<CNtfsAttributeListEntry> entries;
    EXPECT_TRUE(ZelDecodeAttributeList(list.data(), list.size(), entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].type, 0x30u);
    EXPECT_EQ(entries[0].reference & 0xFFFFFFFFFFFFull, 40u);
    EXPECT_EQ(entries[1].lowestVcn, 300);
    EXPECT_EQ(entries[1].reference >> 48, 3u);
    EXPECT_TRUE(entries[1].name.empty());

    // A named entry, then a length that leaves the list.
    std::vector<uint8_t> named(40 + 26, 0);
    Put32(named, 0, 0x80);
    Put16(named, 4, 40);
    named[6] = 3;
    named[7] = 26;
    Put16(named, 26, u'Z');
    Put16(named, 28, u'o');
    Put16(named, 30, u'n');
    Put16(named, 40 + 4, 200);
    entries.clear();
    EXPECT_FALSE(ZelDecodeAttributeList(named.data(), named.size(), entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, u"Zon");
}

namespace {

// An index entry whose key is the name's $FILE_NAME value.
std::vector<uint8_t> IndexEntry(uint64_t reference, const std::u16string& name, uint64_t parent)
{
    std::vector<uint8_t> key = FileNameValue(name, 0, parent, 10);
    std::vector<uint8_t> entry((16 + key.size() + 7) & ~size_t(7), 0);
    Put64(entry, 0, reference);
    Put16(entry, 8, static_cast<uint16_t>(entry.size()));
    Put16(entry, 10, static_cast<uint16_t>(key.size()));
    std::memcpy(&entry[16], key.data(), key.size());
    return entry;
}

} // namespace

TEST(NtfsDecoder, IndexBlocksGiveTheirEntriesAndWhatTheirSlackKept)
{
    const uint64_t folder = 40 | (uint64_t(2) << 48);
    std::vector<uint8_t> block(4096, 0);
    std::memcpy(block.data(), "INDX", 4);
    Put16(block, 4, 0x28);
    Put16(block, 6, 9);
    Put16(block, 0x28, 0x0007); // the update sequence number
    // Node: entries from 0x40, the one in use and the last; a moved
    // entry's old copy, one of another folder's and one cut by the node's
    // end in the slack.
    size_t at = 0x40;
    auto put = [&](const std::vector<uint8_t>& entry, size_t where) {
        std::memcpy(&block[where], entry.data(), entry.size());
        return where + entry.size();
    };
    at = put(IndexEntry(100 | (uint64_t(3) << 48), u"live.txt", folder), at);
    std::vector<uint8_t> last(16, 0);
    Put16(last, 8, 16);
    Put16(last, 12, 2);
    at = put(last, at);
    Put32(block, 0x18, 0x40 - 0x18);
    Put32(block, 0x18 + 4, static_cast<uint32_t>(at - 0x18));
    Put32(block, 0x18 + 8, 4096 - 0x18);
    put(IndexEntry(101 | (uint64_t(2) << 48), u"alt.jpg", folder), at + 8);
    put(IndexEntry(102 | (uint64_t(1) << 48), u"fremd.txt", 41), 0x400);
    std::vector<uint8_t> cut = IndexEntry(103, u"abgeschnitten.txt", folder);
    put(std::vector<uint8_t>(cut.begin(), cut.begin() + 60), 4096 - 60);
    // Each sector's last two bytes go to the array; the number takes their
    // place.
    for (size_t i = 1; i <= 8; ++i) {
        block[0x28 + 2 * i] = block[i * 512 - 2];
        block[0x28 + 2 * i + 1] = block[i * 512 - 1];
        Put16(block, i * 512 - 2, 0x0007);
    }
    std::vector<uint8_t> torn = block;
    std::vector<CNtfsIndexEntry> entries;
    ASSERT_TRUE(ZelDecodeIndexBlock(block.data(), block.size(), 40, entries));
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].name, u"live.txt");
    EXPECT_FALSE(entries[0].stale);
    EXPECT_EQ(entries[1].name, u"alt.jpg");
    EXPECT_TRUE(entries[1].stale);
    EXPECT_EQ(entries[1].reference, 101 | (uint64_t(2) << 48));
    EXPECT_EQ(entries[1].parentReference, folder);

    // A sector whose end lost the number was torn while written.
    Put16(torn, 3 * 512 - 2, 0x0008);
    entries.clear();
    EXPECT_FALSE(ZelDecodeIndexBlock(torn.data(), torn.size(), 40, entries));
    EXPECT_TRUE(entries.empty());
}
