#include "support/CoreBinding.h"
#include "support/TestImages.h"

#include "jexcommon/ZelText.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

boost::shared_ptr<CZelFileSystem> Create(const std::string& volume)
{
    std::wstring wide = ZelNarrowToWide(volume);
    return BoundCore().GetFileSystemCreator()->CreateFileSystem(wide.c_str());
}

std::string NameOf(const boost::shared_ptr<CZelFileSystem>& fs)
{
    return fs ? ZelWideToNarrow(fs->GetName()) : std::string("(none)");
}

} // namespace

TEST(CreateFileSystem, ChoosesTheObjectByFileSystem)
{
    jextest::TempDir dir;
    std::string fat32 = jextest::MakeFatImage(dir, "fat32.img", 32, 34000);
    std::string fat32Large = jextest::MakeFatImage(dir, "fat32-4k.img", 32, 270000, 4096, 1);
    std::string fat16 = jextest::MakeFatImage(dir, "fat16.img", 16, 16384);
    std::string fat12 = jextest::MakeFatImage(dir, "fat12.img", 12, 1440);
    std::string ntfs = jextest::MakeNtfsImage(dir, "ntfs.img", 8);
    std::string blank = dir.File("blank.img");
    jextest::WriteFile(blank, std::vector<uint8_t>(1 << 20, 0));

    CaptureMessages();
    EXPECT_EQ(NameOf(Create(fat32)), "FAT32");
    EXPECT_EQ(NameOf(Create(fat32Large)), "FAT32");
    EXPECT_EQ(NameOf(Create(ntfs)), "NTFS");
    // Unsupported file systems give nothing, without a message.
    EXPECT_EQ(NameOf(Create(fat16)), "(none)");
    EXPECT_EQ(NameOf(Create(fat12)), "(none)");
    EXPECT_EQ(NameOf(Create(blank)), "(none)");
    EXPECT_TRUE(CapturedMessages().empty());
}

TEST(CreateFileSystem, PathFormsOfOneImage)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeFatImage(dir, "card.img", 32, 34000);
    EXPECT_EQ(NameOf(Create(image)), "FAT32");
    EXPECT_EQ(NameOf(Create(image + "/")), "FAT32");
    // The image can also be named relative to the current directory.
    std::string saved = std::filesystem::current_path().string();
    std::filesystem::current_path(dir.Path());
    EXPECT_EQ(NameOf(Create("card.img")), "FAT32");
    std::filesystem::current_path(saved);
}

TEST(CreateFileSystem, DeviceNodeOfALoopDevice)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 8);
    jextest::LoopDevice loop;
    std::string reason;
    if (!loop.Attach(image, reason))
        GTEST_SKIP() << "skipped: " << reason;
    EXPECT_EQ(NameOf(Create(loop.Node())), "NTFS");
    EXPECT_EQ(NameOf(Create(loop.Node() + "/")), "NTFS");
}

TEST(CreateFileSystem, UnopenableVolumeIsReportedOnce)
{
    jextest::TempDir dir;
    std::string missing = dir.File("no-such-card.img");
    CaptureMessages();
    EXPECT_FALSE(Create(missing));
    ASSERT_EQ(CapturedMessages().size(), 1u);
    EXPECT_EQ(CapturedMessages()[0].caption, L"Trouble");
    EXPECT_EQ(CapturedMessages()[0].text, ZelNarrowToWide(missing) + L": No such file or directory");

    // A folder that is not a mount point names no device either.
    CaptureMessages();
    EXPECT_FALSE(Create(dir.Path()));
    ASSERT_EQ(CapturedMessages().size(), 1u);
    EXPECT_EQ(CapturedMessages()[0].text.rfind(ZelNarrowToWide(dir.Path()), 0), 0u);
    BoundCore().SetMessageHandler(nullptr);
}
