// The checks that keep file data from being read as directory entries, the
// allocation map, and the clusters a deleted file's restore reads: from
// byte arrays and maps set by hand.
#include "fat32/FatAllocationMap.h"
#include "fat32/FatBootSector.h"
#include "fat32/Fat32EntryCheck.h"
#include "fat32/Fat32RestorePlan.h"
#include "support/FatImageBuilder.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using jextest::FatEntryBytes;
using jextest::FatImageBuilder;

namespace {

const CFatEntryLimits kLimits{1000, 998 * 4096};

// A file entry as mtools writes it, with dates and times set.
FatEntryBytes File(const char* name11, uint32_t cluster, uint32_t size)
{
    FatEntryBytes entry = FatImageBuilder::ShortEntry(name11, 0x20, cluster, size);
    // 2026-12-07 10:30:00 for creation, access and writing.
    const uint16_t date = static_cast<uint16_t>(((2026 - 1980) << 9) | (12 << 5) | 7);
    const uint16_t time = static_cast<uint16_t>((10 << 11) | (30 << 5));
    for (size_t at : {16, 18, 24}) {
        entry[at] = date & 0xFF;
        entry[at + 1] = date >> 8;
    }
    for (size_t at : {14, 22}) {
        entry[at] = time & 0xFF;
        entry[at + 1] = time >> 8;
    }
    return entry;
}

FatEntryBytes Folder(const char* name11, uint32_t cluster)
{
    FatEntryBytes entry = File(name11, cluster, 0);
    entry[11] = 0x10;
    return entry;
}

std::vector<uint8_t> Cluster(const std::vector<FatEntryBytes>& entries, size_t size = 4096)
{
    std::vector<uint8_t> bytes(size, 0);
    for (size_t i = 0; i < entries.size(); ++i)
        std::memcpy(&bytes[i * 32], entries[i].data(), 32);
    return bytes;
}

} // namespace

TEST(Fat32EntryCheck, TakesEntriesAsFileSystemsWriteThemAndNothingElse)
{
    EXPECT_TRUE(ZelIsPlausibleShortEntry(File("PHOTO   JPG", 5, 40000).data(), kLimits));
    EXPECT_TRUE(ZelIsPlausibleShortEntry(FatImageBuilder::Deleted(File("PHOTO   JPG", 5, 40000)).data(), kLimits));
    EXPECT_TRUE(ZelIsPlausibleShortEntry(File("EMPTY   TXT", 0, 0).data(), kLimits));
    EXPECT_TRUE(ZelIsPlausibleShortEntry(Folder("DCIM       ", 7).data(), kLimits));
    // Lower-case letters and forbidden characters are no 8.3 names.
    EXPECT_FALSE(ZelIsPlausibleShortEntry(File("Photo   JPG", 5, 40000).data(), kLimits));
    EXPECT_FALSE(ZelIsPlausibleShortEntry(File("PHO*O   JPG", 5, 40000).data(), kLimits));
    EXPECT_FALSE(ZelIsPlausibleShortEntry(File(" HOTO   JPG", 5, 40000).data(), kLimits));
    // Clusters outside the data region, sizes larger than it, a folder with
    // a size, data without a cluster.
    EXPECT_FALSE(ZelIsPlausibleShortEntry(File("PHOTO   JPG", 1001, 10).data(), kLimits));
    EXPECT_FALSE(ZelIsPlausibleShortEntry(File("PHOTO   JPG", 1, 10).data(), kLimits));
    EXPECT_FALSE(ZelIsPlausibleShortEntry(File("PHOTO   JPG", 5, 998 * 4096 + 1).data(), kLimits));
    EXPECT_FALSE(ZelIsPlausibleShortEntry(File("EMPTY   TXT", 0, 12).data(), kLimits));
    FatEntryBytes sized = Folder("DCIM       ", 7);
    sized[28] = 1;
    EXPECT_FALSE(ZelIsPlausibleShortEntry(sized.data(), kLimits));
    // Reserved bits, a folder that is a label too, dates and times no clock
    // gives.
    for (auto change : std::vector<std::pair<size_t, uint8_t>>{
             {11, 0x60}, {11, 0x18}, {12, 0x01}, {13, 200}, {25, 0x41 /* month 13 */}, {23, 0xC0 /* hour 24 */}}) {
        FatEntryBytes entry = File("PHOTO   JPG", 5, 40000);
        if (change.first == 25) {
            // Month 13: bits 5..8 of the write date.
            uint16_t date = static_cast<uint16_t>(entry[24] | (entry[25] << 8));
            date = static_cast<uint16_t>((date & ~0x01E0) | (13 << 5));
            entry[24] = date & 0xFF;
            entry[25] = date >> 8;
        } else {
            entry[change.first] = change.second;
        }
        EXPECT_FALSE(ZelIsPlausibleShortEntry(entry.data(), kLimits)) << change.first;
    }
    // The start of a JPEG with its Exif header is no entry.
    const uint8_t jpeg[32] = {0xFF, 0xD8, 0xFF, 0xE1, 0x4D, 0xAA, 0x45, 0x78, 0x69, 0x66, 0x00, 0x00,
                              0x4D, 0x4D, 0x00, 0x2A, 0x00, 0x00, 0x00, 0x08};
    EXPECT_FALSE(ZelIsPlausibleShortEntry(jpeg, kLimits));
    // Long-name entries: order 1..20 (0x40 on the last), type and cluster 0.
    FatEntryBytes name = FatImageBuilder::LongEntry(0x41, u"Strand.jpg");
    EXPECT_TRUE(ZelIsPlausibleLongNameEntry(name.data()));
    name[26] = 3;
    EXPECT_FALSE(ZelIsPlausibleLongNameEntry(name.data()));
    EXPECT_FALSE(ZelIsPlausibleLongNameEntry(FatImageBuilder::LongEntry(0x55, u"x").data()));
}

TEST(Fat32EntryCheck, TellsTheStartOfAFolderFromItsLaterClustersAndFromData)
{
    const std::vector<FatEntryBytes> start{Folder(".          ", 9), Folder("..         ", 0), File("A       TXT", 12, 5)};
    CFatClusterLook look = ZelLookAtDirectoryCluster(Cluster(start).data(), 4096, 9, kLimits);
    EXPECT_EQ(look.look, FatClusterLook::FolderStart);
    EXPECT_EQ(look.parentCluster, 0u);
    EXPECT_EQ(look.entries, 3u);
    // "." naming another cluster does not start this one.
    EXPECT_EQ(ZelLookAtDirectoryCluster(Cluster(start).data(), 4096, 10, kLimits).look, FatClusterLook::NotDirectory);
    // Nor do "." and ".." anywhere but at its start.
    std::vector<FatEntryBytes> moved{File("A       TXT", 12, 5), Folder(".          ", 9), Folder("..         ", 0)};
    EXPECT_EQ(ZelLookAtDirectoryCluster(Cluster(moved).data(), 4096, 9, kLimits).look, FatClusterLook::NotDirectory);

    std::vector<FatEntryBytes> later{FatImageBuilder::Deleted(File("B       TXT", 20, 5)), File("C       TXT", 21, 9)};
    EXPECT_EQ(ZelLookAtDirectoryCluster(Cluster(later).data(), 4096, 30, kLimits).look, FatClusterLook::FolderPart);
    // One slot that no file system writes spoils the cluster; so does an
    // entry after the end marker, and a cluster with nothing in it.
    later.push_back(File("d       TXT", 22, 9));
    EXPECT_EQ(ZelLookAtDirectoryCluster(Cluster(later).data(), 4096, 30, kLimits).look, FatClusterLook::NotDirectory);
    std::vector<uint8_t> afterEnd = Cluster({File("B       TXT", 20, 5)});
    std::vector<uint8_t> tail = Cluster({File("C       TXT", 21, 9)});
    std::memcpy(&afterEnd[64], tail.data(), 32);
    EXPECT_EQ(ZelLookAtDirectoryCluster(afterEnd.data(), 4096, 30, kLimits).look, FatClusterLook::NotDirectory);
    EXPECT_EQ(ZelLookAtDirectoryCluster(Cluster({}).data(), 4096, 30, kLimits).look, FatClusterLook::NotDirectory);
    std::vector<uint8_t> noise(4096);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<uint8_t>(i * 131 + 7);
    EXPECT_EQ(ZelLookAtDirectoryCluster(noise.data(), noise.size(), 30, kLimits).look, FatClusterLook::NotDirectory);
}

TEST(Fat32RestorePlan, TakesFreeClustersPastThoseInUseAndCutsAtTheVolumesEnd)
{
    CFatAllocationMap map;
    map.Reset(200);
    for (uint32_t used : {12u, 13u, 63u, 64u, 65u, 127u, 128u})
        map.SetInUse(used, true);
    EXPECT_TRUE(map.InUse(0) && map.InUse(1) && map.InUse(201));
    EXPECT_EQ(map.NextFree(12), 14u);
    EXPECT_EQ(map.NextFree(63), 66u);
    EXPECT_EQ(map.FreeCount(), 199u - 7u);

    // 6 clusters of 512 bytes from 10: 10, 11, then 14..17.
    CFatRestorePlan plan = ZelPlanFatRestore(map, 10, 6 * 512 - 100, 512);
    ASSERT_EQ(plan.runs.size(), 2u);
    EXPECT_EQ(plan.runs[0].first, 10u);
    EXPECT_EQ(plan.runs[0].count, 2u);
    EXPECT_EQ(plan.runs[1].first, 14u);
    EXPECT_EQ(plan.runs[1].count, 4u);
    EXPECT_EQ(plan.needed, 6u);
    EXPECT_EQ(plan.missing, 0u);
    // Across a whole word of clusters in use.
    for (uint32_t c = 66; c < 127; ++c)
        map.SetInUse(c, true);
    plan = ZelPlanFatRestore(map, 62, 3 * 512, 512);
    ASSERT_EQ(plan.runs.size(), 2u);
    EXPECT_EQ(plan.runs[1].first, 129u);
    // The volume ends first: what is left is missing.
    plan = ZelPlanFatRestore(map, 195, 10 * 512, 512);
    EXPECT_EQ(plan.needed, 10u);
    EXPECT_EQ(plan.missing, 4u);
    // A start outside the data region reads nothing.
    plan = ZelPlanFatRestore(map, 1, 512, 512);
    EXPECT_TRUE(plan.runs.empty());
    EXPECT_EQ(plan.missing, 1u);
    EXPECT_EQ(ZelPlanFatRestore(map, 300, 512, 512).missing, 1u);

    // A live chain that loops ends where it comes back.
    plan = ZelPlanFatChain(5, 100 * 512, 512, 200, [](uint32_t c, uint32_t& next) {
        next = c == 7 ? 5 : c + 1;
        return true;
    });
    EXPECT_EQ(plan.needed, 100u);
    EXPECT_EQ(plan.missing, 97u);
    plan = ZelPlanFatChain(5, 4 * 512, 512, 200, [](uint32_t c, uint32_t& next) {
        next = c + 1;
        return c < 6;
    });
    EXPECT_EQ(plan.missing, 2u);
}

TEST(FatAllocationMap, ClustersTheTableOrDeviceCannotDescribeAreInUseWithoutBitsOfTheirOwn)
{
    // 128 KiB of device under a boot sector that claims 2 TiB and a table of
    // 268 million entries: only the entries on the device are read and
    // kept, the clusters past them are in use.
    FatImageBuilder image(256);
    image.SetFat(5, 0x0FFFFFFF);
    std::vector<uint8_t>& b = image.Bytes();
    const uint32_t sectors = 0xFFFFFFF0u, fatSectors = 0x00200000u;
    for (int i = 0; i < 4; ++i) {
        b[32 + i] = static_cast<uint8_t>(sectors >> (8 * i));
        b[36 + i] = static_cast<uint8_t>(fatSectors >> (8 * i));
    }
    jextest::TempDir dir;
    image.Save(dir.File("claims.img"));
    CFatBootSector boot;
    std::string problem;
    ASSERT_EQ(ZelDecodeFatBootSector(b.data(), 512, boot, problem), FatBootCheck::Fat) << problem;
    ASSERT_GT(boot.lastCluster, 100000000u);
    CBlockReader reader(512);
    std::string error;
    reader.Attach(ZelOpenVolumeSource(dir.File("claims.img"), error));
    ASSERT_TRUE(reader.isOpen()) << error;

    CFatAllocationMap map;
    ASSERT_TRUE(map.Load(reader, boot, nullptr, nullptr));
    EXPECT_EQ(map.LastCluster(), boot.lastCluster);
    EXPECT_EQ(map.KnownEnd(), (b.size() - boot.fatOffset) / 4);
    EXPECT_TRUE(map.InUse(5));
    EXPECT_FALSE(map.InUse(6));
    EXPECT_TRUE(map.InUse(static_cast<uint32_t>(map.KnownEnd())));
    EXPECT_TRUE(map.InUse(boot.lastCluster));
    // The "table" runs on over the second copy and the data: every word
    // that is not zero there counts as in use.
    uint64_t used = 2;
    for (uint64_t c = 2; c < map.KnownEnd(); ++c) {
        const size_t at = static_cast<size_t>(boot.fatOffset + 4 * c);
        used += ((b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (b[at + 3] & 0x0F) << 24) != 0) ? 1 : 0;
    }
    EXPECT_EQ(map.FreeCount(), map.KnownEnd() - used);
    EXPECT_EQ(map.NextFree(static_cast<uint32_t>(map.KnownEnd()) - 1), map.KnownEnd() - 1);
    EXPECT_EQ(map.NextFree(static_cast<uint32_t>(map.KnownEnd())), 0u);
    map.SetInUse(boot.lastCluster - 1, false);
    EXPECT_TRUE(map.InUse(boot.lastCluster - 1)) << "a cluster the table cannot describe stays in use";
}
