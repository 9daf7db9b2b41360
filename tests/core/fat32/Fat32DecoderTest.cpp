#include "fat32/FatBootSector.h"
#include "fat32/Fat32DirEntryDecoder.h"
#include "fat32/FatTable.h"
#include "support/FatImageBuilder.h"

#include <gtest/gtest.h>

#include <cstring>

using jextest::FatImageBuilder;

TEST(Fat32Decoder, BootSectorValuesAndDerivedPositions)
{
    FatImageBuilder image(64, 4096, 16);
    // Claim a larger volume than the bytes built here.
    image.Bytes()[32] = 0xE0;
    image.Bytes()[33] = 0x93;
    image.Bytes()[34] = 0x04;
    CFatBootSector boot;
    std::string problem;
    ASSERT_EQ(ZelDecodeFatBootSector(image.Bytes().data(), 512, boot, problem), FatBootCheck::Fat) << problem;
    EXPECT_EQ(boot.variant, 32);
    EXPECT_EQ(boot.clusterSize, 65536u);
    EXPECT_EQ(boot.volumeSize, 300000ull * 4096);
    uint64_t offset = 0;
    ASSERT_TRUE(boot.ClusterOffset(2, offset));
    EXPECT_EQ(offset, image.ClusterOffset(2));
    ASSERT_TRUE(boot.ClusterOffset(0x0FFFFFF0, offset));
    EXPECT_EQ(offset, image.ClusterOffset(0x0FFFFFF0));
    EXPECT_FALSE(boot.ClusterOffset(0, offset));
    EXPECT_FALSE(boot.ClusterOffset(1, offset));

    // 128 sectors per cluster is read as an unsigned count.
    image.Bytes()[13] = 128;
    image.Bytes()[11] = 0x00;
    image.Bytes()[12] = 0x02;
    ASSERT_EQ(ZelDecodeFatBootSector(image.Bytes().data(), 512, boot, problem), FatBootCheck::Fat);
    EXPECT_EQ(boot.clusterSize, 65536u);
}

TEST(Fat32Decoder, TheVariantFollowsTheLayoutAndTheCountOfClusters)
{
    // A FAT12/16 boot sector: 512-byte sectors, 4 reserved, 2 tables,
    // root entries, total sectors (16-bit count where it fits), table size.
    auto fat16Layout = [](uint16_t rootEntries, uint32_t total, uint16_t fatSectors, uint8_t perCluster,
                          const char* label) {
        std::vector<uint8_t> b(512, 0);
        b[11] = 0x00, b[12] = 0x02, b[13] = perCluster, b[14] = 4, b[16] = 2;
        b[17] = static_cast<uint8_t>(rootEntries), b[18] = static_cast<uint8_t>(rootEntries >> 8);
        const size_t totalAt = total < 0x10000 ? 19 : 32;
        for (size_t i = 0; i < (total < 0x10000 ? 2u : 4u); ++i)
            b[totalAt + i] = static_cast<uint8_t>(total >> (8 * i));
        b[22] = static_cast<uint8_t>(fatSectors), b[23] = static_cast<uint8_t>(fatSectors >> 8);
        std::memcpy(&b[54], label, 8);
        return b;
    };
    struct Case {
        uint16_t rootEntries;
        uint32_t total;
        uint16_t fatSectors;
        uint8_t perCluster;
        const char* label;
        int variant;
        uint32_t lastCluster;
    };
    // Data starts after 4 + 2 * fatSectors sectors and the root region
    // (512 entries: 32 sectors). The label never decides.
    const Case cases[] = {
        {512, 4 + 2 * 12 + 32 + 4084, 12, 1, "FAT16   ", 12, 4085},
        {512, 4 + 2 * 12 + 32 + 4085, 12, 1, "FAT12   ", 16, 4086},
        {224, 2880, 9, 1, "FAT12   ", 12, 2880 - 4 - 18 - 14 + 1},
        {512, 4 + 2 * 256 + 32 + 4 * 65524, 256, 4, "        ", 16, 65525},
        // More clusters than 16 bits can name: only those they can.
        {512, 4 + 2 * 256 + 32 + 70000, 256, 1, "FAT16   ", 16, 0xFFF6},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> b = fat16Layout(c.rootEntries, c.total, c.fatSectors, c.perCluster, c.label);
        CFatBootSector boot;
        std::string problem;
        ASSERT_EQ(ZelDecodeFatBootSector(b.data(), b.size(), boot, problem), FatBootCheck::Fat) << problem;
        EXPECT_EQ(boot.variant, c.variant) << c.total;
        EXPECT_EQ(boot.lastCluster, c.lastCluster) << c.total;
        EXPECT_TRUE(boot.HasFixedRoot());
        EXPECT_EQ(boot.rootOffset, (4u + 2u * c.fatSectors) * 512u);
        EXPECT_EQ(boot.rootBytes, c.rootEntries * 32u);
        uint64_t offset = 0;
        ASSERT_TRUE(boot.ClusterOffset(2, offset));
        EXPECT_EQ(offset, boot.rootOffset + (c.rootEntries * 32u + 511) / 512 * 512);
    }
    // A FAT32 boot sector stays FAT32 whatever its count; a FAT12/16 one
    // needs root entries.
    FatImageBuilder small(4096);
    CFatBootSector boot;
    std::string problem;
    ASSERT_EQ(ZelDecodeFatBootSector(small.Bytes().data(), 512, boot, problem), FatBootCheck::Fat);
    EXPECT_EQ(boot.variant, 32);
    EXPECT_FALSE(boot.HasFixedRoot());
    std::vector<uint8_t> noRoot = fat16Layout(0, 4000, 12, 1, "FAT12   ");
    EXPECT_EQ(ZelDecodeFatBootSector(noRoot.data(), 512, boot, problem), FatBootCheck::Invalid);
    EXPECT_EQ(problem, "the root directory has no entries");
}

TEST(Fat32Decoder, DamagedBootSectors)
{
    CFatBootSector boot;
    std::string problem;
    FatImageBuilder image;
    EXPECT_EQ(ZelDecodeFatBootSector(image.Bytes().data(), 61, boot, problem), FatBootCheck::TooShort);
    EXPECT_EQ(ZelDecodeFatBootSector(nullptr, 512, boot, problem), FatBootCheck::TooShort);

    const std::pair<size_t, uint8_t> damage[] = {{11, 0x10}, {13, 3}, {13, 0}, {14, 0}, {16, 0}, {36, 0}, {44, 1}};
    for (const auto& d : damage) {
        FatImageBuilder broken;
        broken.Bytes()[d.first] = d.second;
        if (d.first == 14)
            broken.Bytes()[15] = 0;
        if (d.first == 36)
            broken.Bytes()[37] = broken.Bytes()[38] = broken.Bytes()[39] = 0;
        problem.clear();
        EXPECT_EQ(ZelDecodeFatBootSector(broken.Bytes().data(), 512, boot, problem), FatBootCheck::Invalid)
            << "offset " << d.first;
        EXPECT_FALSE(problem.empty());
    }
    std::vector<uint8_t> zeros(512, 0);
    EXPECT_EQ(ZelDecodeFatBootSector(zeros.data(), zeros.size(), boot, problem), FatBootCheck::Invalid);
}

TEST(Fat32Decoder, ShortEntries)
{
    CFatDirEntryFields e;
    auto bytes = FatImageBuilder::ShortEntry("REPORT  DOC", 0x20, 0x8001ABCD, 4294967295u);
    ASSERT_TRUE(ZelDecodeFatDirEntry(bytes.data(), 32, e));
    EXPECT_EQ(e.ShortName(), "REPORT.DOC");
    EXPECT_EQ(e.Type(), FatEntryFile);
    // A high word of 0x8000 or more is combined as an unsigned value.
    EXPECT_EQ(e.firstCluster, 0x8001ABCDu);
    EXPECT_EQ(e.fileSize, 4294967295u);
    EXPECT_FALSE(ZelDecodeFatDirEntry(bytes.data(), 31, e));

    auto noExtension = FatImageBuilder::Deleted(FatImageBuilder::ShortEntry("README     ", 0x20, 3, 10));
    ASSERT_TRUE(ZelDecodeFatDirEntry(noExtension.data(), 32, e));
    EXPECT_TRUE(e.IsDeleted());
    EXPECT_EQ(e.ShortName(), "_EADME.");
    // The case flags: small letters for the base, the extension or both.
    for (const auto& written : std::vector<std::pair<uint8_t, std::string>>{
             {0x08, "report.DOC"}, {0x10, "REPORT.doc"}, {0x18, "report.doc"}}) {
        bytes[12] = written.first;
        ASSERT_TRUE(ZelDecodeFatDirEntry(bytes.data(), 32, e));
        EXPECT_EQ(e.ShortName(), written.second);
    }

    auto folder = FatImageBuilder::ShortEntry("PHOTOS     ", 0x10, 5, 0);
    ASSERT_TRUE(ZelDecodeFatDirEntry(folder.data(), 32, e));
    EXPECT_EQ(e.Type(), FatEntryDirectory);
    EXPECT_EQ(e.ShortName(), "PHOTOS");
    EXPECT_EQ(ZelFatEntryType(0x08), FatEntryVolumeLabel);
    EXPECT_EQ(ZelFatEntryType(0x18), FatEntryOther);
}

TEST(Fat32Decoder, LongNameUnitsStopAtTheFirstZero)
{
    std::u16string units = u"ab";
    units.push_back(0);
    units.append(10, static_cast<char16_t>(0xFFFF));
    auto bytes = FatImageBuilder::LongEntry(0x41, units);
    CFatDirEntryFields e;
    ASSERT_TRUE(ZelDecodeFatDirEntry(bytes.data(), 32, e));
    EXPECT_TRUE(e.IsLongNameEntry());
    EXPECT_EQ(e.NameUnitsText(), u"ab");
    for (int i = 2; i < 13; ++i)
        EXPECT_EQ(e.nameUnits[i], 0) << i;

    auto full = FatImageBuilder::LongEntry(0x01, u"abcdefghijklm");
    ASSERT_TRUE(ZelDecodeFatDirEntry(full.data(), 32, e));
    EXPECT_EQ(e.NameUnitsText(), u"abcdefghijklm");
}

TEST(Fat32Decoder, TableEntriesOfEveryWidth)
{
    // FAT12 packs clusters 2 and 3 in bytes 3-5: 0x003 and 0xFFF (end of
    // chain); FAT16 and FAT32 entries are whole words, the top four bits
    // of a FAT32 one reserved.
    const uint8_t fat12[] = {0xF8, 0xFF, 0xFF, 0x03, 0xF0, 0xFF};
    EXPECT_EQ(ZelFatEntryOffset(12, 2), 3u);
    EXPECT_EQ(ZelFatEntryOffset(12, 3), 4u);
    EXPECT_EQ(ZelDecodeFatEntry(fat12 + 3, 12, 2), 0x003u);
    EXPECT_EQ(ZelDecodeFatEntry(fat12 + 4, 12, 3), 0xFFFu);
    const uint8_t word[] = {0x34, 0x12, 0xAB, 0xF0};
    EXPECT_EQ(ZelFatEntryOffset(16, 3), 6u);
    EXPECT_EQ(ZelDecodeFatEntry(word, 16, 3), 0x1234u);
    EXPECT_EQ(ZelFatEntryOffset(32, 3), 12u);
    EXPECT_EQ(ZelDecodeFatEntry(word, 32, 3), 0x00AB1234u);
    // Whole entries only: a 512-byte FAT12 table holds 341.
    EXPECT_EQ(ZelFatEntriesIn(12, 512), 341u);
    EXPECT_EQ(ZelFatEntriesIn(16, 512), 256u);
    EXPECT_EQ(ZelFatEntriesIn(32, 512), 128u);
}
