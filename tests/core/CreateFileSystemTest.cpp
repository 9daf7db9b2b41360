#include "support/ExportCore.h"
#include "support/TestImages.h"

#include "jexcommon/ZelText.h"

#include <gtest/gtest.h>

#include <filesystem>

using jextest::BoundCore;
using jextest::ScopedMessageCapture;

namespace {

boost::shared_ptr<CZelFileSystem> Create(const std::string& volume)
{
    std::wstring wide = ZelNarrowToWide(volume);
    return BoundCore().GetFileSystemCreator()->CreateFileSystem(wide.c_str());
}

// CreateFileSystemEx: the object, or the reason there is none.
std::string CreateEx(const std::string& volume)
{
    std::wstring wide = ZelNarrowToWide(volume);
    std::wstring reason;
    auto fs = BoundCore().GetFileSystemCreator()->CreateFileSystemEx(wide.c_str(), reason);
    if (fs) {
        EXPECT_TRUE(reason.empty());
        return "object " + ZelWideToNarrow(fs->GetName());
    }
    return ZelWideToNarrow(reason);
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
    std::string ext4 = jextest::MakeExt4Image(dir, "ext4.img", 4096);
    std::string ntfs = jextest::MakeNtfsImage(dir, "ntfs.img", 8);
    std::string blank = dir.File("blank.img");
    jextest::WriteFile(blank, std::vector<uint8_t>(1 << 20, 0));

    ScopedMessageCapture capture;
    EXPECT_EQ(NameOf(Create(fat32)), "FAT32");
    EXPECT_EQ(NameOf(Create(fat32Large)), "FAT32");
    EXPECT_EQ(NameOf(Create(ntfs)), "NTFS");
    EXPECT_EQ(NameOf(Create(fat16)), "FAT16");
    EXPECT_EQ(NameOf(Create(fat12)), "FAT12");
    // Unsupported file systems give nothing, without a message.
    EXPECT_EQ(NameOf(Create(ext4)), "(none)");
    EXPECT_EQ(NameOf(Create(blank)), "(none)");
    EXPECT_TRUE(capture.Messages().empty());

    // The caller that asks is told what a volume holds instead.
    EXPECT_EQ(CreateEx(ntfs), "object NTFS");
    EXPECT_EQ(CreateEx(ext4), ext4 + ": holds an ext4 file system; only FAT12, FAT16, FAT32, NTFS and exFAT volumes can be searched");
    EXPECT_EQ(CreateEx(blank), blank + ": holds no file system that could be recognised; only FAT12, FAT16, FAT32, NTFS and exFAT volumes can be searched");
    EXPECT_TRUE(capture.Messages().empty());
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
    {
        ScopedMessageCapture capture;
        EXPECT_FALSE(Create(missing));
        auto messages = capture.Messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].caption, L"Trouble");
        EXPECT_EQ(messages[0].text, ZelNarrowToWide(missing) + L": No such file or directory");
    }
    {
        // A folder that is not a mount point names no device either.
        ScopedMessageCapture capture;
        EXPECT_FALSE(Create(dir.Path()));
        auto messages = capture.Messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text.rfind(ZelNarrowToWide(dir.Path()), 0), 0u);
    }
    {
        // Asked with CreateFileSystemEx, the same reasons go to the caller
        // alone.
        ScopedMessageCapture capture;
        EXPECT_EQ(CreateEx(missing), missing + ": No such file or directory");
        EXPECT_EQ(CreateEx(dir.Path()), dir.Path() + ": Not a device, an image file or the mount point of a device");
        EXPECT_TRUE(capture.Messages().empty());
    }
}
