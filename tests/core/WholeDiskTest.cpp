// Partitions inside a whole-disk image, named "IMAGE@pN": a FAT32 and an
// NTFS volume in an MBR table with an extended partition, made with sfdisk
// from images made with mkfs.fat and mtools and with mkntfs and libntfs-3g.
#include "jexplatform/DeviceFile.h"
#include "jexplatform/PartitionTable.h"
#include "jexplatform/VolumeAccess.h"
#include "support/ExportCore.h"
#include "support/WholeDisk.h"

#include <gtest/gtest.h>

#include <algorithm>

using jextest::WholeDisk;

TEST(WholeDisk, PartitionsAreListedAndReadInsideTheirWindows)
{
    WholeDisk disk;
    CZelDeviceFile file;
    std::string error;
    ASSERT_TRUE(file.Open(disk.image, error)) << error;
    std::string table;
    std::vector<CZelPartition> parts = ZelListPartitions(file.Descriptor(), file.Size(), table);
    EXPECT_EQ(table, "dos");
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0].number, 1);
    EXPECT_EQ(parts[0].offset, disk.fatStart * 512);
    EXPECT_EQ(parts[0].type, "0xc");
    EXPECT_TRUE(parts[1].extended);
    EXPECT_EQ(parts[2].number, 5);
    EXPECT_EQ(parts[2].offset, disk.ntfsStart * 512);

    // A partition's reads end where it does.
    CZelDeviceFile p1;
    ASSERT_TRUE(p1.Open(disk.image + "@p1", error)) << error;
    EXPECT_EQ(p1.Size(), parts[0].length);
    std::vector<uint8_t> bytes(100);
    int readError = 0;
    EXPECT_EQ(p1.ReadAt(p1.Size() - 10, bytes.data(), bytes.size(), readError), 10);
    EXPECT_EQ(p1.ReadAt(p1.Size(), bytes.data(), bytes.size(), readError), 0);
    bytes.resize(512);
    EXPECT_EQ(p1.ReadAt(0, bytes.data(), bytes.size(), readError), 512);
    // It starts with the FAT32 volume's boot sector.
    const std::vector<uint8_t> boot = jextest::ReadFile(disk.card.image);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), boot.begin()));

    // What is no partition says so.
    CZelDeviceFile none;
    EXPECT_FALSE(none.Open(disk.image + "@p9", error));
    EXPECT_EQ(error, "has no partition 9");
    EXPECT_FALSE(none.Open(disk.image + "@p2", error)) << "an extended partition holds no file system";
    EXPECT_FALSE(none.Open(disk.card.image + "@p1", error));
    EXPECT_EQ(error, "holds no partition table");
    EXPECT_TRUE(ZelCheckVolume(disk.image + "@p5", true).ok);
    EXPECT_FALSE(ZelCheckVolume(disk.image + "@p7", false).ok);
    // A file literally named so is itself.
    std::string literal = disk.card.dir.File("odd.img@p1");
    jextest::WriteFile(literal, std::vector<uint8_t>(4096, 7));
    CZelDeviceFile named;
    ASSERT_TRUE(named.Open(literal, error)) << error;
    EXPECT_EQ(named.Size(), 4096u);
}

TEST(WholeDisk, EachPartitionIsSearchedAndRestoredByItsName)
{
    WholeDisk disk;
    jextest::ExportScan fat(disk.image + "@p1");
    ASSERT_TRUE(fat.fs);
    EXPECT_EQ(fat.fs->GetName(), L"FAT32");
    auto photo = fat.File("whole.img@p1/Foto.jpg");
    ASSERT_TRUE(photo);
    EXPECT_EQ(jextest::Restore(photo, disk.card.dir.File("foto")), disk.fat);

    jextest::ExportScan ntfs(disk.image + "@p5");
    ASSERT_TRUE(ntfs.fs);
    EXPECT_EQ(ntfs.fs->GetName(), L"NTFS");
    auto letter = ntfs.File("whole.img@p5/Brief.odt");
    ASSERT_TRUE(letter);
    EXPECT_EQ(jextest::Restore(letter, disk.card.dir.File("brief")), disk.letter);
}
