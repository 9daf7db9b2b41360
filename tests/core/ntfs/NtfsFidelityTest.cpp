// What the NTFS engine says of files the volume no longer holds whole:
// clusters taken by newer files, clusters two deleted files claim, parents
// whose record holds another folder now; and scans repeated on one object.
#include "jexcommon/ZelText.h"
#include "support/ExportCore.h"
#include "support/NtfsImageWriter.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

using jextest::Content;
using jextest::NtfsImageWriter;

TEST(NtfsFidelity, TwoDeletedFilesOnTheSameClustersAreBothPartial)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 8, 4096);
    {
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.File("/First.bin", Content(5000000, 1));
        disk.Delete("/First.bin");
        disk.File("/Second.bin", Content(5000000, 2));
        disk.Delete("/Second.bin");
    }
    jextest::ExportScan scan(image);
    ASSERT_TRUE(scan.fs);
    auto first = scan.File("disk.img/First.bin");
    auto second = scan.File("disk.img/Second.bin");
    ASSERT_TRUE(first && second);
    // 5 MB on an 8 MiB volume: the second file lies over the first.
    EXPECT_LT(first->GetRecoveryEstimate(), 100);
    EXPECT_LT(second->GetRecoveryEstimate(), 100);
    CZelRestoreReport report;
    EXPECT_EQ(first->RestoreEx(dir.File("first").c_str(), {}, report), ZEL_S_PARTIAL);
    EXPECT_NE(report.reason.find(L"also claimed by other found files"), std::wstring::npos)
        << ZelWideToNarrow(report.reason);
}

TEST(NtfsFidelity, AParentRecordReusedByANewFolderIsNotTheFilesFolder)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 16);
    {
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.Folder("/Alt");
        disk.File("/Alt/Brief.txt", Content(3000, 1));
        disk.Delete("/Alt/Brief.txt");
        disk.Delete("/Alt");
    }
    // New folders, one at a time, until one has taken the old folder's
    // record while the letter's record is still free.
    for (int i = 0; i < 100; ++i) {
        {
            NtfsImageWriter disk(image);
            ASSERT_TRUE(disk.Mounted());
            disk.Folder("/Neu" + std::to_string(i));
        }
        jextest::ExportScan scan(image);
        ASSERT_TRUE(scan.fs);
        if (scan.Has("disk.img/Alt"))
            continue;
        bool letterFree = false;
        for (const std::string& path : scan.order)
            letterFree = letterFree || path.find("/Brief.txt") != std::string::npos;
        if (!letterFree)
            GTEST_SKIP() << "skipped: libntfs-3g gave the letter's record away before the folder's";
        // The new folder is not the letter's folder.
        for (int j = 0; j <= i; ++j)
            EXPECT_FALSE(scan.Has("disk.img/Neu" + std::to_string(j) + "/Brief.txt"));
        auto letter = scan.File("disk.img/$OrphanFiles/Brief.txt");
        ASSERT_TRUE(letter);
        EXPECT_EQ(jextest::Restore(letter, dir.File("brief")), Content(3000, 1));
        return;
    }
    GTEST_SKIP() << "skipped: libntfs-3g did not reuse the folder's record";
}

TEST(NtfsFidelity, EachScanStartsFromAnEmptyResult)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 16);
    {
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.File("/A.txt", Content(10, 1));
        disk.File("/B.txt", Content(20000, 2));
        disk.Delete("/A.txt");
        disk.Delete("/B.txt");
    }
    jextest::ExportScan scan(image);
    ASSERT_TRUE(scan.fs);
    auto count = [&] {
        size_t n = 0;
        boost::shared_ptr<CZelEntityIterator> it = scan.fs->GetIterator();
        for (it->First(); !it->IsDone(); it->Next())
            ++n;
        return n;
    };
    const size_t once = count();
    EXPECT_EQ(once, 2u);
    ASSERT_EQ(scan.fs->FindDeleted(scan.volume.c_str(), 1, {}), ZEL_S_OK);
    EXPECT_EQ(count(), once);
    // A resident file is all in its record: nothing to lose.
    EXPECT_EQ(scan.File("disk.img/A.txt")->GetRecoveryEstimate(), 100);
}
