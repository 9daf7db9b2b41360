// Deleted files on NTFS images made with mkntfs and filled through
// libntfs-3g come back through the core's exports alone.
#include "jexcommon/ZelText.h"
#include "support/ExportCore.h"
#include "support/TestImages.h"
#include "support/NtfsImageWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sys/stat.h>

using jextest::NtfsImageWriter;

namespace {

using jextest::BoundCore;
using jextest::Content;
using jextest::Restore;

class NtfsRecovery : public ::testing::TestWithParam<uint32_t> {};

} // namespace

TEST_P(NtfsRecovery, DeletedFilesComeBackWithPathsSizesAndTimes)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 24, GetParam());
    // 255 characters, the longest name NTFS holds.
    const std::string longName = std::string(198, 'L') + " \xC3\xBC\xC3\xA4\xC3\xB6 " + std::string(48, 'n') + ".txt";
    std::map<std::string, std::vector<uint8_t>> deleted = {
        {"/Kurz.txt", Content(100, 1)},
        {"/Bericht 2026.pdf", Content(5000, 2)},
        {"/Fotos/M\xC3\xB6we \xC3\xBC" "ber dem Strand.jpg", Content(123457, 3)},
        {"/" + longName, Content(7001, 4)},
        {"/Alt/Tiefer/Ganz unten/Brief.doc", Content(33333, 5)},
    };
    {
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        for (const char* folder : {"/Fotos", "/Alt", "/Alt/Tiefer", "/Alt/Tiefer/Ganz unten"})
            disk.Folder(folder);
        for (const auto& file : deleted)
            disk.File(file.first, file.second);
        disk.File("/Bleibt.txt", Content(900, 6));
        // A download's zone marker: a named stream that is not the file.
        disk.Stream("/Bericht 2026.pdf", "Zone.Identifier", Content(26, 7));
        for (const auto& file : deleted)
            disk.SetDataChangeTime(file.first, jextest::NtfsTime(1700000000 + static_cast<int64_t>(file.second.size()),
                                                                 1234567));
        for (const auto& file : deleted)
            disk.Delete(file.first);
        for (const char* folder : {"/Alt/Tiefer/Ganz unten", "/Alt/Tiefer", "/Alt"})
            disk.Delete(folder);
    }

    jextest::ExportScan scan(image);
    ASSERT_TRUE(scan.fs);
    EXPECT_EQ(scan.fs->GetName(), L"NTFS");
    EXPECT_EQ(scan.progress, 1.0);
    EXPECT_EQ(scan.Files(), deleted.size());
    for (const auto& file : deleted) {
        std::string path = "disk.img" + file.first;
        auto found = scan.File(path);
        ASSERT_TRUE(found) << path;
        EXPECT_TRUE(found->IsDeleted());
        EXPECT_EQ(found->GetSize(), file.second.size()) << path;
        std::string destination = dir.File("restored-" + std::to_string(file.second.size()));
        EXPECT_EQ(Restore(found, destination), file.second) << path;
        struct stat info;
        ASSERT_EQ(::stat(destination.c_str(), &info), 0);
        EXPECT_EQ(info.st_mtim.tv_sec, 1700000000 + static_cast<int64_t>(file.second.size())) << path;
        EXPECT_EQ(info.st_mtim.tv_nsec, 123456700) << path;
    }
    // Deleted folders are listed as folders, with their own paths.
    ASSERT_TRUE(scan.found.count("disk.img/Alt/Tiefer/Ganz unten"));
    EXPECT_EQ(scan.found["disk.img/Alt/Tiefer/Ganz unten"]->GetType(), ZelEntryDirectory);
    EXPECT_TRUE(scan.found.count("disk.img/Alt"));
    EXPECT_FALSE(scan.found.count("disk.img/Bleibt.txt"));
}

INSTANTIATE_TEST_SUITE_P(ClusterSizes, NtfsRecovery, ::testing::Values(512u, 4096u, 65536u));

TEST(NtfsRecoveryRuns, FragmentedAndSparseFiles)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 16, 4096);
    std::vector<uint8_t> first, second;
    std::vector<uint8_t> sparse(3 << 20, 0);
    {
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.File("/eins.bin", {});
        disk.File("/zwei.bin", {});
        // Appending to both in turn interleaves their clusters.
        for (uint32_t i = 0; i < 12; ++i) {
            auto a = Content(8192 + 100 * i, 10 + i), b = Content(8192, 50 + i);
            disk.WriteAt("/eins.bin", first.size(), a);
            disk.WriteAt("/zwei.bin", second.size(), b);
            first.insert(first.end(), a.begin(), a.end());
            second.insert(second.end(), b.begin(), b.end());
        }
        disk.File("/luecke.bin", {});
        disk.Truncate("/luecke.bin", sparse.size());
        auto tail = Content(5000, 99);
        disk.WriteAt("/luecke.bin", sparse.size() - tail.size(), tail);
        std::copy(tail.begin(), tail.end(), sparse.end() - static_cast<std::ptrdiff_t>(tail.size()));
        disk.Delete("/eins.bin");
        disk.Delete("/luecke.bin");
    }
    jextest::ExportScan scan(image);
    EXPECT_EQ(Restore(scan.File("disk.img/eins.bin"), dir.File("eins")), first);
    EXPECT_EQ(Restore(scan.File("disk.img/luecke.bin"), dir.File("luecke")), sparse);
}

TEST(NtfsRecoveryRuns, ReusedClustersReadAsZeros)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 8, 4096);
    auto lost = Content(1 << 20, 20);
    {
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.File("/verloren.bin", lost);
        disk.File("/voll.bin", Content(100, 30));
        disk.Delete("/verloren.bin");
        // Grow another file until the volume is full: the freed clusters go
        // to it, while the deleted record stays free.
        uint64_t end = 100;
        while (disk.TryWriteAt("/voll.bin", end, Content(64 << 10, 31)))
            end += 64 << 10;
    }
    jextest::ExportScan scan(image);
    auto file = scan.File("disk.img/verloren.bin");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->GetSize(), lost.size());
    // Every cluster now belongs to another file: only zeros come back, and
    // the file says so.
    EXPECT_EQ(file->GetRecoveryEstimate(), 0);
    CZelRestoreReport report;
    EXPECT_EQ(file->RestoreEx(dir.File("verloren").c_str(), {}, report), ZEL_S_PARTIAL);
    EXPECT_NE(report.reason.find(L"recovery estimate 0%: 256 of its 256 clusters belong to other files now"),
              std::wstring::npos)
        << ZelWideToNarrow(report.reason);
    auto restored = jextest::ReadFile(dir.File("verloren"));
    ASSERT_EQ(restored.size(), lost.size());
    EXPECT_EQ(restored, std::vector<uint8_t>(lost.size(), 0));
}

TEST(NtfsRecoveryRuns, RecordReusedBeforeTheRestoreIsRefused)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 16, 4096);
    uint64_t record = 0;
    {
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.File("/alt.txt", Content(3000, 40));
        record = disk.RecordOf("/alt.txt");
        disk.Delete("/alt.txt");
    }
    jextest::ExportScan scan(image);
    auto file = scan.File("disk.img/alt.txt");
    ASSERT_TRUE(file);
    {
        // New files while the scan's results are shown: one takes the record.
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        bool reused = false;
        for (int i = 0; i < 50 && !reused; ++i) {
            std::string path = "/neu" + std::to_string(i) + ".txt";
            disk.File(path, Content(10, 41));
            reused = disk.RecordOf(path) == record;
        }
        ASSERT_TRUE(reused);
    }
    EXPECT_EQ(file->RestoreA(dir.File("alt").c_str(), ZelDefaultProgressCallback), ZEL_E_ENGINE);
    EXPECT_FALSE(std::filesystem::exists(dir.File("alt")));
}

TEST(NtfsRecoveryVolumes, DirtyVolumeIsScanned)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 16, 4096);
    {
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.File("/wichtig.odt", Content(7000, 60));
        disk.Delete("/wichtig.odt");
        disk.MarkDirty();
    }
    jextest::ExportScan scan(image);
    EXPECT_EQ(Restore(scan.File("disk.img/wichtig.odt"), dir.File("wichtig")), Content(7000, 60));
}

TEST(NtfsRecoveryVolumes, VolumeThatCannotBeMountedIsReported)
{
    jextest::TempDir dir;
    std::string fat = jextest::MakeFatImage(dir, "card.img", 32, 34000);
    auto fs = BoundCore().GetFileSystemCreator()->CreateNTFS();
    std::wstring volume = ZelNarrowToWide(fat);
    {
        jextest::ScopedMessageCapture capture;
        EXPECT_EQ(fs->Open(volume.c_str(), 0), ZEL_S_OK);
        EXPECT_EQ(fs->FindDeleted(volume.c_str(), 1, {}), ZEL_S_OK);
        auto messages = capture.Messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].caption, L"Trouble");
        EXPECT_EQ(messages[0].text.rfind(volume + L": ", 0), 0u);
        EXPECT_TRUE(fs->GetIterator()->IsDone());
    }
    // FindDeletedEx gives the reason of the failed mount to its caller.
    jextest::ScopedMessageCapture capture;
    CZelScanReport report;
    EXPECT_EQ(fs->Open(volume.c_str(), 0), ZEL_S_OK);
    EXPECT_EQ(fs->FindDeletedEx(volume.c_str(), 1, {}, report), ZEL_E_ENGINE);
    EXPECT_EQ(report.reason.rfind(volume + L": not a readable NTFS volume", 0), 0u) << ZelWideToNarrow(report.reason);
    EXPECT_TRUE(capture.Messages().empty());
}

TEST(NtfsRecoveryVolumes, ASecondScanListsEachRecordOnce)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 16, 4096);
    {
        NtfsImageWriter disk(image);
        disk.File("/eins.txt", Content(100, 70));
        disk.File("/zwei.txt", Content(200, 71));
        disk.Delete("/eins.txt");
        disk.Delete("/zwei.txt");
    }
    jextest::ExportScan scan(image);
    ASSERT_TRUE(scan.fs);
    EXPECT_EQ(scan.order.size(), 2u);
    // The same object scans again without a new Open.
    ASSERT_EQ(scan.fs->FindDeleted(scan.volume.c_str(), 1, {}), ZEL_S_OK);
    size_t listed = 0;
    auto it = scan.fs->GetIterator();
    for (it->First(); !it->IsDone(); it->Next())
        ++listed;
    EXPECT_EQ(listed, 2u);
}

TEST(NtfsRecoveryVolumes, AVolumeFormattedAnewGivesItsTreeToADeepSearch)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 32, 4096);
    const std::map<std::string, std::vector<uint8_t>> files{{"Fotos/Urlaub/Strand am Meer.jpg", Content(30000, 1)},
                                                            {"Fotos/Berg.jpg", Content(200000, 2)},
                                                            {"Brief an Oma.txt", Content(5000, 3)}};
    {
        NtfsImageWriter disk(image);
        disk.Folder("/Fotos");
        disk.Folder("/Fotos/Urlaub");
        for (const auto& file : files)
            disk.File("/" + file.first, file.second);
    }
    // Formatted anew: mkntfs writes a new, empty MFT where the old one
    // began, and the old records after it lie in clusters free now.
    ASSERT_EQ(jextest::Run("mkntfs -F -Q -c 4096 " + jextest::Quote(image) + " >/dev/null 2>&1"), 0);
    EXPECT_EQ(jextest::ExportScan(image).Files(), 0u);
    jextest::ExportScan deep(image, {}, true);
    EXPECT_EQ(deep.Files(), files.size());
    size_t n = 0;
    for (const auto& file : files) {
        ASSERT_TRUE(deep.Has("disk.img/" + file.first)) << file.first << " is not at its path";
        EXPECT_EQ(Restore(deep.File("disk.img/" + file.first), dir.File("out" + std::to_string(n++))), file.second)
            << file.first;
    }
}

TEST(NtfsRecoveryVolumes, ADiskWhoseBootSectorIsGoneIsReadThroughItsCopyAndListsEveryFile)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 16, 4096);
    const std::map<std::string, std::vector<uint8_t>> files{{"Fotos/Strand.jpg", Content(30000, 1)},
                                                            {"Alt.txt", Content(5000, 3)}};
    {
        NtfsImageWriter disk(image);
        disk.Folder("/Fotos");
        for (const auto& file : files)
            disk.File("/" + file.first, file.second);
        disk.Delete("/Alt.txt");
    }
    ASSERT_EQ(jextest::Run("dd if=/dev/zero of=" + jextest::Quote(image) + " bs=512 count=1 conv=notrunc 2>/dev/null"), 0);
    std::wstring reason;
    EXPECT_FALSE(BoundCore().GetFileSystemCreator()->CreateFileSystemEx(ZelNarrowToWide(image).c_str(), reason));
    // The live file is listed as well as the deleted one: the volume needs
    // formatting, and every file is at risk.
    jextest::ExportScan deep(image, {}, true);
    ASSERT_TRUE(deep.fs);
    EXPECT_NE(deep.report.notice.find(L"the copy in its last sector was read instead"), std::wstring::npos);
    EXPECT_EQ(deep.Files(), files.size());
    ASSERT_TRUE(deep.Has("disk.img/Fotos/Strand.jpg"));
    EXPECT_FALSE(deep.found["disk.img/Fotos/Strand.jpg"]->IsDeleted());
    size_t n = 0;
    for (const auto& file : files) {
        ASSERT_TRUE(deep.Has("disk.img/" + file.first)) << file.first;
        EXPECT_EQ(Restore(deep.File("disk.img/" + file.first), dir.File("out" + std::to_string(n++))), file.second)
            << file.first;
    }
}
