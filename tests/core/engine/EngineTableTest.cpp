// The engine table and the parts every engine shares.
#include "engine/ZelClaims.h"
#include "engine/ZelEngineTable.h"
#include "engine/ZelFileSink.h"
#include "fat32/Fat32Wrapper.h"
#include "ntfs/NtfsUndeleteWrapper.h"
#include "support/TestImages.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <cstring>

TEST(EngineTable, EachEngineIsFoundByItsFileSystemName)
{
    ASSERT_EQ(ZelEngines().size(), 5u);
    // libblkid names exFAT "exfat".
    for (const char* name : {"FAT12", "FAT16", "FAT32", "fat32", "NTFS", "Ntfs", "exFAT", "exfat"}) {
        const CZelEngineRow* row = ZelFindEngine(name);
        ASSERT_NE(row, nullptr) << name;
        boost::shared_ptr<CZelFileSystem> fs = row->create(512);
        ASSERT_TRUE(fs) << name;
        EXPECT_EQ(fs->GetName(), std::wstring(row->fileSystemName, row->fileSystemName + std::strlen(row->fileSystemName)));
    }
    for (const char* name : {"", "FAT", "ext4", "FAT32 ", "ex"})
        EXPECT_EQ(ZelFindEngine(name), nullptr) << name;
    EXPECT_EQ(ZelSearchedFileSystems(), "FAT12, FAT16, FAT32, NTFS and exFAT");
}

TEST(EngineBase, OpenFailuresAndScansWithoutAVolumeNameTheirCause)
{
    jextest::TempDir dir;
    auto ntfs = boost::make_shared<CNtfsUndeleteWrapper>();
    std::string fat = jextest::MakeFatImage(dir, "card.img", 32, 34000);
    // The mount's failure is kept for the scan that follows.
    EXPECT_EQ(ntfs->Open(fat.c_str(), 512), -1);
    EXPECT_EQ(ntfs->GetLastError().rfind(fat + ": not a readable NTFS volume", 0), 0u) << ntfs->GetLastError();
    EXPECT_EQ(ntfs->FindDeleted(fat.c_str(), 1, nullptr), -1);
    EXPECT_EQ(ntfs->GetLastError().rfind(fat + ": not a readable NTFS volume", 0), 0u) << ntfs->GetLastError();
    EXPECT_EQ(ntfs->GetRootName(), "card.img");

    auto fat32 = boost::make_shared<CFat32Wrapper>();
    EXPECT_EQ(fat32->FindDeleted("x.img", 1, nullptr), -1);
    EXPECT_EQ(fat32->GetLastError(), "x.img: no volume is open");
    EXPECT_EQ(fat32->Open(nullptr, 512), -1);
    EXPECT_EQ(fat32->GetLastError(), "no volume path");
    // Each Open, Close and scan ends the generation of the records before.
    uint64_t generation = fat32->GetGeneration();
    ASSERT_EQ(fat32->Open(fat.c_str(), 512), 0);
    EXPECT_TRUE(fat32->GetLastError().empty());
    ASSERT_EQ(fat32->FindDeleted(fat.c_str(), 1, nullptr), 0);
    fat32->Close();
    EXPECT_EQ(fat32->GetGeneration(), generation + 3);
    CZelRestoreReport report;
    CZelFileSink out(dir.File("out"));
    EXPECT_EQ(fat32->RestoreCurrentFile(generation, out, nullptr, ZelDefaultProgressCallback, report),
              kZelStaleRecord);
    EXPECT_EQ(report.verdict, ZelRestoreFailed);
    EXPECT_FALSE(report.reason.empty());
    EXPECT_EQ(fat32->RestoreFile(dir.File("out").c_str(), nullptr, ZelDefaultProgressCallback, report),
              kZelNotThisEngine);
}

TEST(EngineBase, ClaimsAreSharedOnlyWhereTwoFilesReadTheSameClusters)
{
    // File 0: 10-19 and 40-49; file 1: 15-24 (shares 15-19); file 2: 20-29
    // (shares 20-24 with file 1; touches nothing else); file 3 claims
    // 40-44 twice and file 0 claims them too; file 4 only touches file 0's
    // end.
    CZelClaims claims;
    claims.Add(0, 10, 10);
    claims.Add(0, 40, 10);
    claims.Add(1, 15, 10);
    claims.Add(2, 20, 10);
    claims.Add(3, 40, 5);
    claims.Add(3, 40, 5);
    claims.Add(4, 50, 5);
    claims.Add(5, 60, 0);
    claims.Settle();
    const struct {
        uint64_t first, count, shared;
    } cases[] = {{10, 10, 5}, {15, 10, 10}, {20, 10, 5}, {40, 10, 5}, {50, 5, 0}, {0, 100, 15}, {19, 1, 1}, {25, 5, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(claims.SharedIn(c.first, c.count), c.shared) << c.first << "+" << c.count;
    EXPECT_TRUE(claims.IsShared(24));
    EXPECT_FALSE(claims.IsShared(45));
}
