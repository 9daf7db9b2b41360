// Partitions inside a whole-disk image, named "IMAGE@pN": a FAT32 and an
// NTFS volume in an MBR table with an extended partition, made with sfdisk
// from images made with mkfs.fat and mtools and with mkntfs and libntfs-3g.
#include "jexplatform/DeviceFile.h"
#include "jexplatform/PartitionTable.h"
#include "jexplatform/VolumeAccess.h"
#include "jexcommon/ZelText.h"
#include "support/ExportCore.h"
#include "support/FatImageBuilder.h"
#include "support/WholeDisk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <unistd.h>

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

TEST(WholeDisk, GptPartitionsAreListedSearchedAndRestored)
{
    WholeDisk disk(true, WholeDisk::Gpt);
    CZelDeviceFile file;
    std::string error;
    ASSERT_TRUE(file.Open(disk.image, error)) << error;
    std::string table;
    std::vector<CZelPartition> parts = ZelListPartitions(file.Descriptor(), file.Size(), table);
    EXPECT_EQ(table, "gpt");
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_EQ(parts[0].number, 1);
    EXPECT_EQ(parts[0].offset, disk.fatStart * 512);
    EXPECT_EQ(parts[1].number, 2);
    EXPECT_EQ(parts[1].offset, disk.ntfsStart * 512);
    EXPECT_FALSE(parts[1].extended);

    jextest::ExportScan fat(disk.image + "@p1");
    ASSERT_TRUE(fat.fs);
    EXPECT_EQ(jextest::Restore(fat.File("whole.img@p1/Foto.jpg"), disk.card.dir.File("foto")), disk.fat);
    jextest::ExportScan ntfs(disk.image + "@p2");
    ASSERT_TRUE(ntfs.fs);
    EXPECT_EQ(ntfs.fs->GetName(), L"NTFS");
    EXPECT_EQ(jextest::Restore(ntfs.File("whole.img@p2/Brief.odt"), disk.card.dir.File("brief")), disk.letter);
}

namespace {

// A disk whose partition 1 holds the first half of a 4 MiB FAT32 volume
// (the table and the file system disagree, as after a careless resize);
// partition 2 behind it is all 0xAB. A deleted file starts four clusters
// before partition 1 ends and claims 20,000 bytes.
struct HalfVolumeDisk {
    HalfVolumeDisk()
    {
        jextest::FatImageBuilder volume(8192);
        const uint64_t half = 4096 * 512;
        uint32_t cluster = 2;
        while (volume.ClusterOffset(cluster + 4) < half)
            ++cluster;
        first = volume.ClusterOffset(cluster);
        kept = half - first;
        volume.PutData(cluster, jextest::Content(static_cast<size_t>(kept), 3));
        volume.PutEntry(2, 0, jextest::FatImageBuilder::Deleted(
                                  jextest::FatImageBuilder::ShortEntry("RAND    BIN", 0x20, cluster, 20000)));
        volume.Save(dir.File("volume.img"));
        std::vector<uint8_t> bytes = jextest::ReadFile(dir.File("volume.img"));
        bytes.resize(half);
        content = std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(first), bytes.end());

        image = dir.File("disk.img");
        std::vector<uint8_t> disk((2048 + 4096 + 4096 + 2048) * 512, 0xAB);
        jextest::WriteFile(image, disk);
        std::string script = "label: dos\n2048,4096,c\n6144,4096,83\n";
        jextest::WriteFile(dir.File("table"), std::vector<uint8_t>(script.begin(), script.end()));
        EXPECT_EQ(jextest::Run("sfdisk -q " + jextest::Quote(image) + " < " + jextest::Quote(dir.File("table")) +
                               " >/dev/null 2>&1"),
                  0);
        std::fstream io(image, std::ios::binary | std::ios::in | std::ios::out);
        io.seekp(2048 * 512);
        io.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }

    jextest::TempDir dir;
    std::string image;
    uint64_t first = 0, kept = 0;
    std::vector<uint8_t> content;
};

} // namespace

TEST(WholeDisk, ReadsNeverLeaveThePartitionNorTheImage)
{
    HalfVolumeDisk disk;
    auto restorePartial = [&disk](const std::string& out, uint64_t expectedKept) {
        jextest::ExportScan scan(disk.image + "@p1");
        if (!scan.fs)
            return std::vector<uint8_t>();
        auto file = scan.File("disk.img@p1/_" "AND.BIN");
        if (!file)
            return std::vector<uint8_t>();
        CZelRestoreReport report;
        EXPECT_EQ(file->RestoreEx(disk.dir.File(out).c_str(), {}, report), ZEL_S_PARTIAL);
        EXPECT_EQ(report.unreadableBytes, 20000 - expectedKept);
        EXPECT_NE(ZelWideToNarrow(report.reason).find("the volume ends"), std::string::npos)
            << ZelWideToNarrow(report.reason);
        return jextest::ReadFile(disk.dir.File(out));
    };
    // What lies behind the partition is never read as the file's: the file
    // stops where the partition does.
    std::vector<uint8_t> bytes = restorePartial("window", disk.kept);
    EXPECT_EQ(bytes, disk.content);

    // The image cut a cluster before the partition ends: the partition is as
    // long as what is left of it.
    const uint64_t cut = (2048 + 4096) * 512 - 512;
    ASSERT_EQ(::truncate(disk.image.c_str(), static_cast<off_t>(cut)), 0);
    CZelDeviceFile p1;
    std::string error;
    ASSERT_TRUE(p1.Open(disk.image + "@p1", error)) << error;
    EXPECT_EQ(p1.Size(), 4096u * 512 - 512);
    std::string table;
    std::vector<CZelPartition> parts = ZelListPartitions(p1.Descriptor(), jextest::ReadFile(disk.image).size(), table);
    ASSERT_EQ(parts.size(), 1u) << "partition 2 starts past the end";
    EXPECT_TRUE(parts[0].cutShort);
    bytes = restorePartial("cut", disk.kept - 512);
    EXPECT_EQ(bytes, std::vector<uint8_t>(disk.content.begin(), disk.content.end() - 512));
}
