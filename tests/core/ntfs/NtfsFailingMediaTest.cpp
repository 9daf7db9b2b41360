// The NTFS engine on a volume that fails, injected through the volume
// source that libntfs-3g reads through.
#include "jexcommon/ZelText.h"
#include "ntfs/NtfsUndeleteWrapper.h"
#include "support/FaultySource.h"
#include "support/NtfsImageWriter.h"
#include "support/TestImages.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using jextest::Content;

namespace {

// Three deleted files: two small ones and one of 64 KiB.
class FailingNtfs : public ::testing::Test {
protected:
    void SetUp() override
    {
        image = jextest::MakeNtfsImage(dir, "disk.img", 16, 4096);
        jextest::NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.File("/eins.txt", Content(3000, 1));
        disk.File("/zwei.txt", Content(3000, 2));
        disk.File("/gross.bin", Content(64 << 10, 3));
        m_RecordOffset = disk.RecordOffset(disk.RecordOf("/zwei.txt"));
        m_DataOffset = disk.DataOffset("/gross.bin");
        ASSERT_NE(m_RecordOffset, 0u);
        ASSERT_NE(m_DataOffset, 0u);
        for (const char* path : {"/eins.txt", "/zwei.txt", "/gross.bin"})
            disk.Delete(path);
    }

    // Opens with a source that prepare sets up, then scans; the found
    // files by path.
    std::map<std::string, boost::shared_ptr<CZelFSFile>> Scan(
        const std::function<void(jextest::FaultySource&)>& prepare, int32_t expected = 0)
    {
        opener = jextest::FaultyOpener(prepare);
        engine->SetVolumeOpener(opener.Opener());
        EXPECT_EQ(engine->Open(image.c_str(), 512), 0) << engine->GetLastError();
        EXPECT_EQ(engine->FindDeleted(image.c_str(), 1, nullptr), expected) << engine->GetLastError();
        std::map<std::string, boost::shared_ptr<CZelFSFile>> found;
        auto it = engine->GetIterator();
        for (it->First(); !it->IsDone(); it->Next())
            if (auto file = boost::dynamic_pointer_cast<CZelFSFile>(it->CurrentItem()))
                found[ZelWideToNarrow(file->GetPath())] = file;
        return found;
    }

    jextest::TempDir dir;
    std::string image;
    boost::shared_ptr<CNtfsUndeleteWrapper> engine = boost::make_shared<CNtfsUndeleteWrapper>();
    jextest::FaultyOpener opener;
    uint64_t m_RecordOffset = 0;
    uint64_t m_DataOffset = 0;
};

} // namespace

TEST_F(FailingNtfs, AnUnreadableRecordIsPassedOverAndCounted)
{
    EXPECT_EQ(Scan({}).size(), 3u);
    EXPECT_EQ(engine->GetUnreadableCount(), 0u);
    auto found = Scan([&](jextest::FaultySource& source) { source.FailAt(m_RecordOffset, 512); });
    EXPECT_EQ(found.size(), 2u);
    EXPECT_FALSE(found.count("disk.img/zwei.txt"));
    EXPECT_TRUE(found.count("disk.img/eins.txt"));
    EXPECT_EQ(engine->GetUnreadableCount(), 1u);
    // The record's bytes.
    EXPECT_EQ(engine->GetUnreadableBytes(), 1024u);
}

TEST_F(FailingNtfs, UnreadableDataMakesAPartialFileWithZerosThere)
{
    auto found = Scan([&](jextest::FaultySource& source) { source.FailAt(m_DataOffset + 8192, 512); });
    ASSERT_TRUE(found.count("disk.img/gross.bin"));
    CZelRestoreReport report;
    EXPECT_EQ(found["disk.img/gross.bin"]->RestoreEx(dir.File("gross").c_str(), ZelDefaultProgressCallback, report),
              ZEL_S_PARTIAL);
    EXPECT_EQ(report.verdict, ZelRestoredPartly);
    EXPECT_EQ(report.unreadableBytes, 512u);
    std::vector<uint8_t> expected = Content(64 << 10, 3);
    std::fill(expected.begin() + 8192, expected.begin() + 8192 + 512, 0);
    EXPECT_EQ(jextest::ReadFile(dir.File("gross")), expected);
    // The small files were never touched.
    EXPECT_EQ(found["disk.img/eins.txt"]->RestoreEx(dir.File("eins").c_str(), ZelDefaultProgressCallback, report),
              ZEL_S_OK);
    EXPECT_EQ(jextest::ReadFile(dir.File("eins")), Content(3000, 1));
}

TEST_F(FailingNtfs, ADeviceThatGoesAwayEndsTheScanOrTheRestore)
{
    // Mounted, then gone before the scan reads a record.
    opener = jextest::FaultyOpener();
    engine->SetVolumeOpener(opener.Opener());
    ASSERT_EQ(engine->Open(image.c_str(), 512), 0) << engine->GetLastError();
    opener.Last()->VanishAfter(0);
    EXPECT_EQ(engine->FindDeleted(image.c_str(), 1, nullptr), -1);
    EXPECT_NE(engine->GetLastError().find(": the device is gone (No such device)"), std::string::npos)
        << engine->GetLastError();

    // Gone at any point of a restore: the file is whole, or there is none,
    // never a file under its name with what was read before the device went.
    const auto whole = Content(64 << 10, 3);
    bool failedSome = false;
    for (uint64_t reads = 0; reads < 6; ++reads) {
        auto found = Scan({});
        ASSERT_TRUE(found.count("disk.img/gross.bin"));
        opener.Last()->VanishAfter(reads);
        std::string folder = dir.File("out" + std::to_string(reads));
        std::filesystem::create_directory(folder);
        CZelRestoreReport report;
        ZELRESULT result =
            found["disk.img/gross.bin"]->RestoreEx((folder + "/gross").c_str(), ZelDefaultProgressCallback, report);
        if (result == ZEL_S_OK) {
            EXPECT_EQ(jextest::ReadFile(folder + "/gross"), whole) << reads;
            continue;
        }
        failedSome = true;
        EXPECT_EQ(result, ZEL_E_ENGINE) << reads;
        EXPECT_EQ(report.verdict, ZelRestoreFailed) << reads;
        EXPECT_NE(report.reason.find(L"the device is gone"), std::wstring::npos) << ZelWideToNarrow(report.reason);
        EXPECT_TRUE(std::filesystem::is_empty(folder)) << reads;
    }
    EXPECT_TRUE(failedSome);
}

TEST_F(FailingNtfs, AnUnreadableFolderRecordIsCountedOnce)
{
    image = jextest::MakeNtfsImage(dir, "folders.img", 16, 4096);
    uint64_t folder = 0, record = 0;
    {
        jextest::NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.Folder("/Ordner");
        for (const char* path : {"/Ordner/a.txt", "/Ordner/b.txt", "/Ordner/c.txt"})
            disk.File(path, Content(100, 7));
        record = disk.RecordOf("/Ordner");
        folder = disk.RecordOffset(record);
        for (const char* path : {"/Ordner/a.txt", "/Ordner/b.txt", "/Ordner/c.txt", "/Ordner"})
            disk.Delete(path);
    }
    ASSERT_NE(folder, 0u);
    auto found = Scan([&](jextest::FaultySource& source) { source.FailAt(folder, 512); });
    // The files are still found, below the folder that cannot be read:
    // never at the root, where they were not.
    EXPECT_EQ(found.size(), 3u);
    const std::string lost = "folders.img/$OrphanFiles/Folder " + std::to_string(record) + "/a.txt";
    EXPECT_TRUE(found.count(lost)) << (found.empty() ? "" : found.begin()->first);
    EXPECT_EQ(engine->GetUnreadableCount(), 1u);
}

TEST_F(FailingNtfs, ATornRecordAmongThoseReadTogetherIsPassedOverAlone)
{
    // The end of the record's first sector no longer carries its update
    // sequence number: a write that tore. The records around it, read in
    // the same block, are found all the same.
    std::vector<uint8_t> bytes = jextest::ReadFile(image);
    ASSERT_GT(bytes.size(), m_RecordOffset + 512);
    bytes[m_RecordOffset + 510] ^= 0xFF;
    jextest::WriteFile(image, bytes);
    auto found = Scan({});
    EXPECT_EQ(found.size(), 2u);
    EXPECT_FALSE(found.count("disk.img/zwei.txt"));
    EXPECT_TRUE(found.count("disk.img/eins.txt"));
    EXPECT_TRUE(found.count("disk.img/gross.bin"));
    EXPECT_EQ(engine->GetUnreadableCount(), 0u) << "a torn record is no read error";
}
