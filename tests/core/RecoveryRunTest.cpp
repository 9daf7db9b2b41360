#include "support/ExportCore.h"
#include "support/TestImages.h"

#include "jexcommon/ZelText.h"

#include <gtest/gtest.h>

using jextest::BoundCore;

namespace {

// Runs the calling order of a recovery run and counts what the iterator
// hands out.
size_t RunRecovery(CZelFileSystem& fs, const std::wstring& volume)
{
    EXPECT_EQ(fs.Open(volume.c_str(), 0), ZEL_S_OK);
    EXPECT_EQ(fs.FindDeleted(volume.c_str(), 1, boost::shared_ptr<CZelCheckFile>()), ZEL_S_OK);
    boost::shared_ptr<CZelEntityIterator> it = fs.GetIterator();
    EXPECT_TRUE(it);
    if (!it)
        return 0;
    size_t count = 0;
    for (it->First(); !it->IsDone(); it->Next())
        if (it->CurrentItem())
            ++count;
    EXPECT_FALSE(it->CurrentItem());
    EXPECT_FALSE(fs.GetIteratorEx1());
    EXPECT_FALSE(fs.GetIteratorEx2());
    EXPECT_FALSE(fs.GetIteratorEx3());
    double progress = fs.GetProgress();
    EXPECT_GE(progress, 0.0);
    EXPECT_LE(progress, 1.0);
    fs.Close();
    return count;
}

} // namespace

TEST(RecoveryRun, EmptyImagesGiveEmptyResultsThroughTheExports)
{
    jextest::TempDir dir;
    const std::string images[] = {
        jextest::MakeFatImage(dir, "fat32.img", 32, 34000),
        jextest::MakeNtfsImage(dir, "ntfs.img", 8),
    };
    for (const std::string& image : images) {
        std::wstring volume = ZelNarrowToWide(image);
        boost::shared_ptr<CZelFileSystem> fs = BoundCore().GetFileSystemCreator()->CreateFileSystem(volume.c_str());
        ASSERT_TRUE(fs) << image;
        EXPECT_EQ(RunRecovery(*fs, volume), 0u) << image;
        // The object can run again after Close.
        EXPECT_EQ(RunRecovery(*fs, volume), 0u) << image;
    }
}

TEST(RecoveryRun, FactoriesWithoutADevice)
{
    auto creator = BoundCore().GetCreator()->CreateFileSystemCreator();
    ASSERT_TRUE(creator);
    boost::shared_ptr<CZelFileSystemFAT32> fat32 = creator->CreateFAT32();
    boost::shared_ptr<CZelFileSystemNTFS> ntfs = creator->CreateNTFS();
    ASSERT_TRUE(fat32 && ntfs);
    EXPECT_EQ(fat32->GetName(), L"FAT32");
    EXPECT_EQ(ntfs->GetName(), L"NTFS");
    EXPECT_EQ(fat32->GetProgress(), 0.0);
    EXPECT_EQ(ntfs->GetProgress(), 0.0);
    // The concrete objects are reached through the common interface.
    boost::shared_ptr<CZelFileSystem> asBase = fat32;
    EXPECT_TRUE(boost::dynamic_pointer_cast<CZelFileSystemFAT32>(asBase));
    EXPECT_FALSE(boost::dynamic_pointer_cast<CZelFileSystemNTFS>(asBase));
}

TEST(RecoveryRun, IteratorOutlivesTheFileSystemObject)
{
    jextest::TempDir dir;
    std::wstring volume = ZelNarrowToWide(jextest::MakeFatImage(dir, "fat32.img", 32, 34000));
    boost::shared_ptr<CZelEntityIterator> it;
    {
        boost::shared_ptr<CZelFileSystem> fs = BoundCore().GetFileSystemCreator()->CreateFileSystem(volume.c_str());
        ASSERT_TRUE(fs);
        ASSERT_EQ(fs->Open(volume.c_str(), 0), ZEL_S_OK);
        ASSERT_EQ(fs->FindDeleted(volume.c_str(), 1, boost::shared_ptr<CZelCheckFile>()), ZEL_S_OK);
        it = fs->GetIterator();
    }
    ASSERT_TRUE(it);
    it->First();
    EXPECT_TRUE(it->IsDone());
    EXPECT_FALSE(it->CurrentItem());
}
