// The FAT32 engine on a volume that fails: sectors that cannot be read, and
// a device that goes away, injected through the volume source.
#include "ZelFileSystemImpl.h"
#include "fat32/Fat32Wrapper.h"
#include "jexcommon/ZelText.h"
#include "support/FatImageBuilder.h"
#include "support/FaultySource.h"
#include "support/TestImages.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using jextest::FatImageBuilder;

namespace {

constexpr uint32_t kSector = 512;

// A hand-made volume with 2 KiB clusters: the root names folder A (cluster
// 3), whose first cluster holds deleted files, two of them with long names
// on either side of its second sector, and a deleted file of three clusters
// (20 to 22).
class FailingFat : public ::testing::Test {
protected:
    void SetUp() override
    {
        FatImageBuilder image(8192, kSector, 4);
        m_ClusterOffset3 = image.ClusterOffset(3);
        m_DataOffset = image.ClusterOffset(20);
        m_FatOffset = image.FatOffset(0);
        m_SecondFatOffset = image.FatOffset(1);
        image.PutEntry(2, 0, FatImageBuilder::ShortEntry("A          ", 0x10, 3, 0));
        image.PutEntry(2, 1, FatImageBuilder::Deleted(FatImageBuilder::ShortEntry("DATA    BIN", 0x20, 20, 3 * 2048)));
        // Folder A spans clusters 3 and 4.
        image.SetFat(3, 4);
        image.SetFat(4, 0x0FFFFFFF);
        // Empty files: no other found file claims the data's clusters.
        auto file = [](uint32_t i) {
            std::string name = "F" + std::to_string(i);
            return FatImageBuilder::Deleted(
                FatImageBuilder::ShortEntry(name + std::string(8 - name.size(), ' ') + "BIN", 0x20, 0, 0));
        };
        for (uint32_t i = 0; i < 14; ++i)
            image.PutEntry(3, i, file(i));
        // Entries 14 to 16: a name whose short entry lies in the second
        // sector (entries 16 to 31).
        image.PutNamed(3, 14, u"Vor dem Loch.txt", FatImageBuilder::ShortEntry("VORDEM~1TXT", 0x20, 0, 0), true);
        for (uint32_t i = 17; i < 29; ++i)
            image.PutEntry(3, i, file(i));
        // Entries 29 to 33: a name whose first three entries lie in that
        // sector and whose last two follow it.
        image.PutNamed(3, 29, u"Ein langer Name \u00fcber das Loch hinweg.txt",
                       FatImageBuilder::ShortEntry("EINLAN~1TXT", 0x20, 0, 0), true);
        for (uint32_t i = 34; i < 64; ++i)
            image.PutEntry(3, i, file(i));
        image.PutEntry(4, 0, file(64));
        m_Data = jextest::Content(3 * 2048, 5);
        image.PutData(20, m_Data);
        image.Save(dir.File("card.img"));
    }

    // Scans with a source that prepare sets up; the paths found.
    std::vector<std::string> Scan(const std::function<void(jextest::FaultySource&)>& prepare, int32_t expected = 0)
    {
        opener = jextest::FaultyOpener(prepare);
        engine->SetVolumeOpener(opener.Opener());
        std::string image = dir.File("card.img");
        EXPECT_EQ(engine->Open(image.c_str(), kSector), 0);
        EXPECT_EQ(engine->FindDeleted(image.c_str(), 1, nullptr), expected) << engine->GetLastError();
        std::vector<std::string> paths;
        entries.clear();
        auto it = engine->GetIterator();
        for (it->First(); !it->IsDone(); it->Next()) {
            auto entry = it->CurrentItem();
            paths.push_back(ZelWideToNarrow(entry->GetPath()));
            entries[paths.back()] = entry;
        }
        return paths;
    }

    // Restores the deleted file; the report.
    CZelRestoreReport RestoreData(const std::string& name, ZELRESULT expected)
    {
        auto file = boost::dynamic_pointer_cast<CZelFSFile>(entries["card.img/_" "ATA.BIN"]);
        CZelRestoreReport report;
        EXPECT_TRUE(file);
        if (file) {
            EXPECT_EQ(file->RestoreEx(dir.File(name).c_str(), ZelDefaultProgressCallback, report), expected);
        }
        return report;
    }

    size_t FilesIn(const std::string& folder)
    {
        size_t n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            n += entry.is_regular_file();
        return n;
    }

    jextest::TempDir dir;
    boost::shared_ptr<CFat32Wrapper> engine = boost::make_shared<CFat32Wrapper>();
    jextest::FaultyOpener opener;
    std::map<std::string, boost::shared_ptr<CZelFSFileEntry>> entries;
    uint64_t m_ClusterOffset3 = 0;
    uint64_t m_DataOffset = 0;
    uint64_t m_FatOffset = 0;
    uint64_t m_SecondFatOffset = 0;
    std::vector<uint8_t> m_Data;
};

} // namespace

TEST_F(FailingFat, AnUnreadableDirectorySectorIsPassedOverAndCounted)
{
    const size_t all = Scan({}).size();
    EXPECT_EQ(all, 2u + 14 + 1 + 12 + 1 + 30 + 1);
    EXPECT_EQ(engine->GetUnreadableCount(), 0u);
    EXPECT_TRUE(entries.count("card.img/A/Ein langer Name \xC3\xBC" "ber das Loch hinweg.txt"));

    // The second sector of folder A's first cluster (entries 16 to 31)
    // fails: its 13 files go, and one stretch is counted.
    auto paths = Scan([&](jextest::FaultySource& source) { source.FailAt(m_ClusterOffset3 + kSector, kSector); });
    EXPECT_EQ(paths.size(), all - 13);
    EXPECT_EQ(engine->GetUnreadableCount(), 1u);
    EXPECT_EQ(engine->GetUnreadableBytes(), kSector);
    // What lies after the bad sector is still found, in the next cluster
    // too; the name cut by the bad sector is not made up from what is left
    // of it, the 8.3 name is shown instead.
    EXPECT_TRUE(entries.count("card.img/A/_" "63.BIN"));
    EXPECT_TRUE(entries.count("card.img/A/_" "64.BIN"));
    EXPECT_FALSE(entries.count("card.img/A/_" "17.BIN"));
    EXPECT_TRUE(entries.count("card.img/A/_INLAN~1.TXT"));
    for (const std::string& path : paths) {
        EXPECT_EQ(path.find("Vor dem Loch"), std::string::npos) << path;
        EXPECT_EQ(path.find("Ein langer"), std::string::npos) << path;
    }
    EXPECT_TRUE(entries.count("card.img/_" "ATA.BIN"));

    // The file-system object hands the count on in its scan report.
    CZelFileSystemImplT<CZelFileSystem> fs(engine, kSector, L"FAT32");
    CZelScanReport report;
    std::wstring volume = ZelNarrowToWide(dir.File("card.img"));
    ASSERT_EQ(fs.Open(volume.c_str(), 0), ZEL_S_OK);
    EXPECT_EQ(fs.FindDeletedEx(volume.c_str(), 1, {}, report), ZEL_S_OK);
    EXPECT_EQ(report.unreadableStretches, 1u);
    EXPECT_TRUE(report.reason.empty());

    // A failure that goes away when read again costs nothing.
    paths = Scan([&](jextest::FaultySource& source) { source.FailAt(m_ClusterOffset3, kSector, 1); });
    EXPECT_EQ(paths.size(), all);
    EXPECT_EQ(engine->GetUnreadableCount(), 0u);
}

TEST_F(FailingFat, AnUnreadableAllocationTableIsReadFromItsCopy)
{
    const size_t all = Scan({}).size();
    // The first table fails where folder A's chain is: the second serves.
    auto paths = Scan([&](jextest::FaultySource& source) { source.FailAt(m_FatOffset, 64); });
    EXPECT_EQ(paths.size(), all);
    EXPECT_EQ(engine->GetUnreadableCount(), 0u);
    EXPECT_TRUE(entries.count("card.img/A/_" "64.BIN"));

    // Both fail: the chain cannot be followed, folder A ends with its first
    // cluster, and the stretch is counted once.
    paths = Scan([&](jextest::FaultySource& source) {
        source.FailAt(m_FatOffset, 64);
        source.FailAt(m_SecondFatOffset, 64);
    });
    EXPECT_EQ(paths.size(), all - 1);
    EXPECT_FALSE(entries.count("card.img/A/_" "64.BIN"));
    EXPECT_EQ(engine->GetUnreadableCount(), 1u);
}

TEST_F(FailingFat, UnreadableDataMakesAPartialFileWithZerosThere)
{
    Scan([&](jextest::FaultySource& source) { source.FailAt(m_DataOffset + 2048 + kSector, kSector); });
    CZelRestoreReport report = RestoreData("data", ZEL_S_PARTIAL);
    EXPECT_EQ(report.verdict, ZelRestoredPartly);
    EXPECT_EQ(report.unreadableBytes, kSector);
    EXPECT_NE(report.reason.find(L"512 bytes could not be read (Input/output error)"), std::wstring::npos)
        << ZelWideToNarrow(report.reason);
    std::vector<uint8_t> expected = m_Data;
    std::fill(expected.begin() + 2048 + kSector, expected.begin() + 2048 + 2 * kSector, 0);
    EXPECT_EQ(jextest::ReadFile(dir.File("data")), expected);

    // Read again, the same stretch reads: the file is whole.
    Scan([&](jextest::FaultySource& source) { source.FailAt(m_DataOffset + 2048, kSector, 1); });
    report = RestoreData("again", ZEL_S_OK);
    EXPECT_EQ(report.verdict, ZelRestored);
    EXPECT_EQ(report.unreadableBytes, 0u);
    EXPECT_EQ(jextest::ReadFile(dir.File("again")), m_Data);
}

TEST_F(FailingFat, ADeviceThatGoesAwayEndsTheScanOrTheRestore)
{
    // Gone after the boot sector: the scan fails and says why.
    Scan([](jextest::FaultySource& source) { source.VanishAfter(1); }, -1);
    EXPECT_NE(engine->GetLastError().find(": the device is gone (No such device); the search ended there"),
              std::string::npos)
        << engine->GetLastError();

    // Gone between the scan and the restore: no file, not even in part.
    Scan({});
    opener.Last()->VanishAfter(0);
    std::filesystem::create_directory(dir.File("out"));
    CZelRestoreReport report = RestoreData("out/data", ZEL_E_ENGINE);
    EXPECT_EQ(report.verdict, ZelRestoreFailed);
    EXPECT_NE(report.reason.find(L"the device is gone"), std::wstring::npos) << ZelWideToNarrow(report.reason);
    EXPECT_EQ(FilesIn(dir.File("out")), 0u);
}

TEST_F(FailingFat, AStoppedSearchKeepsWhatItFoundAndItsFilesCanBeRestored)
{
    std::vector<std::string> whole = Scan({});
    EXPECT_FALSE(engine->WasStopped());
    EXPECT_NE(std::find(whole.begin(), whole.end(), "card.img/A/_64.BIN"), whole.end());
    // Asked to stop while folder A's first cluster is read: what the root
    // and that cluster list is kept, and no more clusters are read.
    std::vector<std::string> paths = Scan([this](jextest::FaultySource& source) {
        source.WhenRead(m_ClusterOffset3, [this] { engine->RequestStop(); });
    });
    EXPECT_TRUE(engine->WasStopped());
    EXPECT_TRUE(engine->GetLastError().empty()) << engine->GetLastError();
    EXPECT_NE(std::find(paths.begin(), paths.end(), "card.img/A/_0.BIN"), paths.end());
    EXPECT_EQ(std::find(paths.begin(), paths.end(), "card.img/A/_64.BIN"), paths.end());
    std::filesystem::create_directory(dir.File("out"));
    RestoreData("out/data", ZEL_S_OK);
    EXPECT_EQ(jextest::ReadFile(dir.File("out/data")), m_Data);
    // The next search is not stopped.
    Scan({});
    EXPECT_FALSE(engine->WasStopped());
}
