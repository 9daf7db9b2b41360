#include "ZelFSEntryImpl.h"
#include "fat32/Fat32Wrapper.h"
#include "fat32/ZelFSFileImpl_FAT32.h"
#include "fat32/ZelIteratorFat32Standart.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

namespace {

struct Fixture {
    boost::shared_ptr<CFat32Wrapper> engine = boost::make_shared<CFat32Wrapper>();
    int record = 0; // stands for an engine record; never dereferenced here
};

uintptr_t Handle(int& record)
{
    return reinterpret_cast<uintptr_t>(&record);
}

} // namespace

TEST(FoundEntry, RestoreIsRefusedWithoutPathRecordOrEngine)
{
    Fixture f;
    ASSERT_EQ(f.engine->Open("/dev/null", 512), 0);
    CZelFSFileImpl_FAT32<CZelFSFile> noRecord(0, f.engine, f.engine->GetGeneration());
    EXPECT_EQ(noRecord.RestoreA("/tmp/out", ZelDefaultProgressCallback), ZEL_E_RESTOREREFUSED);

    CZelFSFileImpl_FAT32<CZelFSFile> noEngine(Handle(f.record), nullptr, 1);
    EXPECT_EQ(noEngine.RestoreA("/tmp/out", ZelDefaultProgressCallback), ZEL_E_RESTOREREFUSED);

    CZelFSFileImpl_FAT32<CZelFSFile> file(Handle(f.record), f.engine, f.engine->GetGeneration());
    EXPECT_EQ(file.Restore(nullptr, ZelDefaultProgressCallback), ZEL_E_RESTOREREFUSED);
    EXPECT_EQ(file.RestoreA(nullptr, ZelDefaultProgressCallback), ZEL_E_RESTOREREFUSED);
}

TEST(FoundEntry, RestoreThroughAnEntryOfAnEarlierScanIsRefused)
{
    Fixture f;
    ASSERT_EQ(f.engine->Open("/dev/null", 512), 0);
    ASSERT_EQ(f.engine->FindDeleted("/dev/null", 1, nullptr), 0);
    CZelFSFileImpl_FAT32<CZelFSFile> current(Handle(f.record), f.engine, f.engine->GetGeneration());
    // The engine is asked while the entry is current; it finds no such record.
    EXPECT_EQ(current.RestoreA("/nonexistent/out", ZelDefaultProgressCallback), ZEL_E_ENGINE);

    // A new scan, a Close and a new Open each end the entry's records.
    CZelFSFileImpl_FAT32<CZelFSFile> beforeScan(Handle(f.record), f.engine, f.engine->GetGeneration());
    ASSERT_EQ(f.engine->FindDeleted("/dev/null", 1, nullptr), 0);
    EXPECT_EQ(beforeScan.RestoreA("/nonexistent/out", ZelDefaultProgressCallback), ZEL_E_RESTOREREFUSED);

    CZelFSFileImpl_FAT32<CZelFSFile> beforeClose(Handle(f.record), f.engine, f.engine->GetGeneration());
    f.engine->Close();
    EXPECT_EQ(beforeClose.Restore(L"/nonexistent/out", ZelDefaultProgressCallback), ZEL_E_RESTOREREFUSED);

    CZelFSFileImpl_FAT32<CZelFSFile> beforeOpen(Handle(f.record), f.engine, f.engine->GetGeneration());
    ASSERT_EQ(f.engine->Open("/dev/null", 512), 0);
    EXPECT_EQ(beforeOpen.RestoreA("/nonexistent/out", ZelDefaultProgressCallback), ZEL_E_RESTOREREFUSED);
}

TEST(FoundEntry, NamesAndPathsFallBackToTheNarrowTexts)
{
    Fixture f;
    CZelFSFileImpl_FAT32<CZelFSFile> file(Handle(f.record), f.engine, f.engine->GetGeneration());
    file.SetNames("\xE5OTO.JPG", L"");
    file.SetPaths("card.img/DCIM/\xE5OTO.JPG", L"");
    file.SetSize(4294967295u);
    EXPECT_EQ(file.GetType(), ZelEntryFile);
    EXPECT_EQ(file.GetName(), L"\u00e5OTO.JPG");
    EXPECT_EQ(file.GetPath(), L"card.img/DCIM/\u00e5OTO.JPG");
    EXPECT_EQ(file.GetNameA(), "\xE5OTO.JPG");
    EXPECT_EQ(file.GetSize(), 4294967295u);

    file.SetNames("FOTO~1.JPG", L"Fotografie vom Sommer.jpg");
    EXPECT_EQ(file.GetName(), L"Fotografie vom Sommer.jpg");

    CZelFSDirectoryImpl<CZelFSDirectory> directory;
    directory.SetAttributes(0x10);
    directory.SetDeleted(true);
    EXPECT_EQ(directory.GetType(), ZelEntryDirectory);
    EXPECT_EQ(directory.GetAttributes(), 0x10u);
    EXPECT_TRUE(directory.IsDeleted());
    EXPECT_FALSE(directory.GetIterator());
}

TEST(FoundEntry, IteratorOverAnEmptyResultIsDoneAtOnce)
{
    Fixture f;
    ASSERT_EQ(f.engine->Open("/dev/null", 512), 0);
    ASSERT_EQ(f.engine->FindDeleted("/dev/null", 1, nullptr), 0);
    CZelIteratorFat32Standart it(f.engine);
    it.First();
    EXPECT_TRUE(it.IsDone());
    EXPECT_FALSE(it.CurrentItem());
    it.Next();
    EXPECT_TRUE(it.IsDone());
}
