#include "fat32/Fat32BootSector.h"
#include "fat32/Fat32DirEntryDecoder.h"
#include "support/FatImageBuilder.h"

#include <gtest/gtest.h>

using jextest::FatImageBuilder;

TEST(Fat32Decoder, BootSectorValuesAndDerivedPositions)
{
    FatImageBuilder image(64, 4096, 16);
    // Claim a larger volume than the bytes built here.
    image.Bytes()[32] = 0xE0;
    image.Bytes()[33] = 0x93;
    image.Bytes()[34] = 0x04;
    CFat32BootSector boot;
    std::string problem;
    ASSERT_EQ(ZelDecodeFat32BootSector(image.Bytes().data(), 512, boot, problem), Fat32BootCheck::Fat32) << problem;
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
    ASSERT_EQ(ZelDecodeFat32BootSector(image.Bytes().data(), 512, boot, problem), Fat32BootCheck::Fat32);
    EXPECT_EQ(boot.clusterSize, 65536u);
}

TEST(Fat32Decoder, OtherVariantsAndDamagedBootSectors)
{
    CFat32BootSector boot;
    std::string problem;
    FatImageBuilder fat16;
    fat16.MakeFat16("FAT16");
    EXPECT_EQ(ZelDecodeFat32BootSector(fat16.Bytes().data(), 512, boot, problem), Fat32BootCheck::OtherFat);
    EXPECT_EQ(boot.variant, 16);
    // A FAT16 boot sector with a blank type label counts as FAT12.
    FatImageBuilder blank;
    blank.MakeFat16("");
    EXPECT_EQ(ZelDecodeFat32BootSector(blank.Bytes().data(), 512, boot, problem), Fat32BootCheck::OtherFat);
    EXPECT_EQ(boot.variant, 12);

    FatImageBuilder image;
    EXPECT_EQ(ZelDecodeFat32BootSector(image.Bytes().data(), 61, boot, problem), Fat32BootCheck::TooShort);
    EXPECT_EQ(ZelDecodeFat32BootSector(nullptr, 512, boot, problem), Fat32BootCheck::TooShort);

    const std::pair<size_t, uint8_t> damage[] = {{11, 0x10}, {13, 3}, {13, 0}, {14, 0}, {16, 0}, {36, 0}, {44, 1}};
    for (const auto& d : damage) {
        FatImageBuilder broken;
        broken.Bytes()[d.first] = d.second;
        if (d.first == 14)
            broken.Bytes()[15] = 0;
        if (d.first == 36)
            broken.Bytes()[37] = broken.Bytes()[38] = broken.Bytes()[39] = 0;
        problem.clear();
        EXPECT_EQ(ZelDecodeFat32BootSector(broken.Bytes().data(), 512, boot, problem), Fat32BootCheck::Invalid)
            << "offset " << d.first;
        EXPECT_FALSE(problem.empty());
    }
    std::vector<uint8_t> zeros(512, 0);
    EXPECT_EQ(ZelDecodeFat32BootSector(zeros.data(), zeros.size(), boot, problem), Fat32BootCheck::Invalid);
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
