#include "ZelFSEntryImpl.h"
#include "fat32/Fat32Wrapper.h"
#include "fat32/ZelIteratorFat32Standart.h"
#include "jexcommon/ZelText.h"
#include "support/TestImages.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {

// An engine that has scanned a FAT32 image holding one deleted file.
struct Fixture {
    Fixture()
    {
        image = jextest::MakeFatImage(dir, "card.img", 32, 34000);
        jextest::WriteFile(dir.File("a.bin"), std::vector<uint8_t>(3000, 0x5A));
        EXPECT_EQ(jextest::Run("MTOOLS_SKIP_CHECK=1 mcopy -i " + jextest::Quote(image) + " " + jextest::Quote(dir.File("a.bin")) +
                               " ::/ && MTOOLS_SKIP_CHECK=1 mdel -i " + jextest::Quote(image) + " ::/a.bin"),
                  0);
        EXPECT_EQ(engine->Open(image.c_str(), 512), 0);
        EXPECT_EQ(engine->FindDeleted(image.c_str(), 1, nullptr), 0);
        EXPECT_EQ(engine->GetEntryCount(), 1u);
    }
    // A found-file object for the deleted file, made under the engine's
    // current generation.
    boost::shared_ptr<CZelFSFile> CurrentFile()
    {
        CZelIteratorFat32Standart it(engine);
        it.First();
        return boost::dynamic_pointer_cast<CZelFSFile>(it.CurrentItem());
    }

    jextest::TempDir dir;
    std::string image;
    boost::shared_ptr<CFat32Wrapper> engine = boost::make_shared<CFat32Wrapper>();
};

} // namespace

TEST(FoundEntry, RestoreIsRefusedWithoutPathRecordOrEngine)
{
    Fixture f;
    const CZelEngineRecord* record = f.engine->GetEntry(0);
    CZelFSFileImpl<CZelFSFile> noRecord(nullptr, f.engine, f.engine->GetGeneration());
    EXPECT_EQ(noRecord.RestoreA(f.dir.File("out").c_str(), ZelDefaultProgressCallback), ZEL_E_RESTOREREFUSED);

    CZelFSFileImpl<CZelFSFile> noEngine(record, nullptr, f.engine->GetGeneration());
    EXPECT_EQ(noEngine.RestoreA(f.dir.File("out").c_str(), ZelDefaultProgressCallback), ZEL_E_RESTOREREFUSED);

    boost::shared_ptr<CZelFSFile> file = f.CurrentFile();
    ASSERT_TRUE(file);
    EXPECT_EQ(file->Restore(nullptr, ZelDefaultProgressCallback), ZEL_E_RESTOREREFUSED);
    EXPECT_EQ(file->RestoreA(nullptr, ZelDefaultProgressCallback), ZEL_E_RESTOREREFUSED);
    EXPECT_FALSE(std::filesystem::exists(f.dir.File("out")));
}

TEST(FoundEntry, RestoreThroughAnEntryOfAnEarlierScanIsRefused)
{
    Fixture f;
    boost::shared_ptr<CZelFSFile> current = f.CurrentFile();
    ASSERT_TRUE(current);
    EXPECT_EQ(current->RestoreA(f.dir.File("first").c_str(), ZelDefaultProgressCallback), ZEL_S_OK);
    EXPECT_EQ(jextest::ReadFile(f.dir.File("first")), std::vector<uint8_t>(3000, 0x5A));

    // A new scan, a Close and a new Open each end the entry's records.
    ASSERT_EQ(f.engine->FindDeleted(f.image.c_str(), 1, nullptr), 0);
    EXPECT_EQ(current->RestoreA(f.dir.File("after-scan").c_str(), ZelDefaultProgressCallback),
              ZEL_E_RESTOREREFUSED);

    boost::shared_ptr<CZelFSFile> beforeClose = f.CurrentFile();
    f.engine->Close();
    EXPECT_EQ(beforeClose->Restore(ZelNarrowToWide(f.dir.File("after-close")).c_str(), ZelDefaultProgressCallback),
              ZEL_E_RESTOREREFUSED);

    ASSERT_EQ(f.engine->Open(f.image.c_str(), 512), 0);
    ASSERT_EQ(f.engine->FindDeleted(f.image.c_str(), 1, nullptr), 0);
    boost::shared_ptr<CZelFSFile> beforeOpen = f.CurrentFile();
    ASSERT_EQ(f.engine->Open(f.image.c_str(), 512), 0);
    EXPECT_EQ(beforeOpen->RestoreA(f.dir.File("after-open").c_str(), ZelDefaultProgressCallback),
              ZEL_E_RESTOREREFUSED);
    EXPECT_FALSE(std::filesystem::exists(f.dir.File("after-scan")));
    EXPECT_FALSE(std::filesystem::exists(f.dir.File("after-open")));
}

TEST(FoundEntry, NamesAndPathsFallBackToTheNarrowTexts)
{
    CZelFSFileImpl<CZelFSFile> file(nullptr, nullptr, 0);
    file.SetNames("\xE5OTO.JPG", "");
    auto folder = std::make_shared<const std::string>("card.img/DCIM/");
    file.SetPaths(CZelSharedPath{folder, "\xE5OTO.JPG"}, CZelSharedPath());
    file.SetSize(4294967295u);
    EXPECT_EQ(file.GetType(), ZelEntryFile);
    EXPECT_EQ(file.GetName(), L"\u00e5OTO.JPG");
    EXPECT_EQ(file.GetPath(), L"card.img/DCIM/\u00e5OTO.JPG");
    EXPECT_EQ(file.GetPathA(), "card.img/DCIM/\xE5OTO.JPG");
    // The bytes that are not UTF-8 are shown as the characters they stand for.
    EXPECT_EQ(file.GetPathUtf8(), "card.img/DCIM/\u00e5OTO.JPG");
    EXPECT_EQ(file.GetNameA(), "\xE5OTO.JPG");
    EXPECT_EQ(file.GetSize(), 4294967295u);

    // Long names are kept in UTF-8 and given back in either form; the
    // folder part is the one shared text.
    file.SetNames("FOTO~1.JPG", "Fotografie vom Sommer \u00e0 Nice.jpg");
    file.SetPaths(CZelSharedPath{folder, "FOTO~1.JPG"},
                  CZelSharedPath{std::make_shared<const std::string>("card.img/Bilder/"),
                                 "Fotografie vom Sommer \u00e0 Nice.jpg"});
    EXPECT_EQ(file.GetName(), L"Fotografie vom Sommer \u00e0 Nice.jpg");
    EXPECT_EQ(file.GetPathA(), "card.img/DCIM/FOTO~1.JPG");
    EXPECT_EQ(file.GetPath(), L"card.img/Bilder/Fotografie vom Sommer \u00e0 Nice.jpg");
    EXPECT_EQ(file.GetPathUtf8(), "card.img/Bilder/Fotografie vom Sommer \u00e0 Nice.jpg");
    EXPECT_EQ(folder.use_count(), 2);

    CZelFSDirectoryImpl<CZelFSDirectory> directory;
    directory.SetAttributes(0x10);
    directory.SetDeleted(true);
    EXPECT_EQ(directory.GetType(), ZelEntryDirectory);
    EXPECT_EQ(directory.GetAttributes(), 0x10u);
    EXPECT_TRUE(directory.IsDeleted());
    EXPECT_FALSE(directory.GetIterator());
}
