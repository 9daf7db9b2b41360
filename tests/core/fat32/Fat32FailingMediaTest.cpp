// The FAT32 engine on a volume that fails: sectors that cannot be read, and
// a device that goes away, injected through the volume source.
#include "fat32/Fat32Wrapper.h"
#include "jexcommon/ZelText.h"
#include "support/FatImageBuilder.h"
#include "support/FaultySource.h"
#include "support/TestImages.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <filesystem>

using jextest::FatImageBuilder;

namespace {

constexpr uint32_t kSector = 512;

// A hand-made volume with 2 KiB clusters: the root names folder A (cluster
// 3), whose first cluster holds 60 deleted files, and a deleted file of
// three clusters (20 to 22).
class FailingFat : public ::testing::Test {
protected:
    void SetUp() override
    {
        FatImageBuilder image(8192, kSector, 4);
        m_ClusterOffset3 = image.ClusterOffset(3);
        m_DataOffset = image.ClusterOffset(20);
        image.PutEntry(2, 0, FatImageBuilder::ShortEntry("A          ", 0x10, 3, 0));
        image.PutEntry(2, 1, FatImageBuilder::Deleted(FatImageBuilder::ShortEntry("DATA    BIN", 0x20, 20, 3 * 2048)));
        image.SetFat(3, 0x0FFFFFFF);
        for (uint32_t i = 0; i < 60; ++i)
            image.PutEntry(3, i, FatImageBuilder::Deleted(FatImageBuilder::ShortEntry(
                                     "F" + std::to_string(i) + std::string(7 - std::to_string(i).size(), ' ') + "BIN",
                                     0x20, 20, 10)));
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
        auto file = boost::dynamic_pointer_cast<CZelFSFile>(entries["card.img/\xC3\xA5" "ATA.BIN"]);
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
    std::vector<uint8_t> m_Data;
};

} // namespace

TEST_F(FailingFat, AnUnreadableDirectorySectorIsPassedOverAndCounted)
{
    const size_t all = Scan({}).size();
    EXPECT_EQ(all, 62u);
    EXPECT_EQ(engine->GetUnreadableCount(), 0u);

    // The second sector of folder A's cluster (entries 16 to 31) fails.
    auto paths = Scan([&](jextest::FaultySource& source) { source.FailAt(m_ClusterOffset3 + kSector, kSector); });
    EXPECT_EQ(paths.size(), all - 16);
    EXPECT_EQ(engine->GetUnreadableCount(), 1u);
    // What lies after the bad sector is still found.
    EXPECT_TRUE(entries.count("card.img/A/\xC3\xA5" "59.BIN"));
    EXPECT_FALSE(entries.count("card.img/A/\xC3\xA5" "16.BIN"));
    EXPECT_TRUE(entries.count("card.img/\xC3\xA5" "ATA.BIN"));

    // A failure that goes away when read again costs nothing.
    paths = Scan([&](jextest::FaultySource& source) { source.FailAt(m_ClusterOffset3, kSector, 1); });
    EXPECT_EQ(paths.size(), all);
    EXPECT_EQ(engine->GetUnreadableCount(), 0u);
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
