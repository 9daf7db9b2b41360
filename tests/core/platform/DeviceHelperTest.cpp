// The device-opening helper, run directly (as root where a loop device can
// be had) instead of through pkexec: a block device comes back as a
// descriptor that reads its bytes; anything else is refused with its
// reason, and no descriptor crosses over.
#include "jexplatform/DeviceHelper.h"
#include "support/ExportCore.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include <fcntl.h>
#include <unistd.h>

namespace {

const std::vector<std::string> kHelper{std::string(JEX_BIN_DIR) + "/jexfilerecovery-open"};

} // namespace

TEST(DeviceHelper, RefusesWhatIsNoBlockDeviceSayingWhy)
{
    jextest::TempDir dir;
    jextest::WriteFile(dir.File("card.img"), jextest::Content(4096, 1));
    std::filesystem::create_symlink(dir.File("card.img"), dir.File("link"));
    std::filesystem::create_directory(dir.File("folder"));
    const std::vector<std::pair<std::string, std::string>> refused{
        {dir.File("card.img"), "is a regular file, not a block device"},
        {dir.File("link"), "is a regular file, not a block device"},
        {dir.File("folder"), "is a directory, not a block device"},
        {"/dev/null", "is a character device, not a block device"},
        {dir.File("missing"), std::strerror(ENOENT)},
        {"card.img", "give one device path, from the root"},
    };
    for (const auto& path : refused) {
        std::string error;
        EXPECT_EQ(ZelOpenThroughHelper(kHelper, path.first, error), -1) << path.first;
        EXPECT_EQ(error, path.first + ": " + path.second);
    }
    // A helper that cannot be run, or that hands over nothing, says so.
    std::string error;
    EXPECT_EQ(ZelOpenThroughHelper({dir.File("no-helper")}, "/dev/sda", error), -1);
    EXPECT_NE(error.find("exit status 127"), std::string::npos) << error;
    EXPECT_EQ(ZelOpenThroughHelper({"true"}, "/dev/sda", error), -1);
    EXPECT_NE(error.find("handed over no descriptor"), std::string::npos) << error;
    // Its answer goes over a socket only: from a terminal or a pipe it
    // refuses to run at all.
    EXPECT_EQ(jextest::Run(jextest::Quote(kHelper[0]) + " /dev/null"), 2);
}

TEST(DeviceHelper, HandsOverABlockDeviceThatReadsItsBytes)
{
    jextest::TempDir dir;
    const std::vector<uint8_t> bytes = jextest::Content(1 << 20, 2);
    jextest::WriteFile(dir.File("card.img"), bytes);
    jextest::LoopDevice loop;
    std::string reason;
    if (!loop.Attach(dir.File("card.img"), reason))
        GTEST_SKIP() << "skipped: " << reason;
    std::string error;
    int fd = ZelOpenThroughHelper(kHelper, loop.Node(), error);
    ASSERT_GE(fd, 0) << error;
    // Read-only, and closed on exec like every descriptor of ours.
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_ACCMODE, O_RDONLY);
    EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    std::vector<uint8_t> read(bytes.size());
    EXPECT_EQ(::pread(fd, read.data(), read.size(), 0), static_cast<ssize_t>(read.size()));
    EXPECT_TRUE(read == bytes);
    ::close(fd);
}

TEST(DeviceHelper, AGrantedDeviceIsSearchedAndRestoredThroughItsDescriptor)
{
    // The volume text names one file; the descriptor handed over is of
    // another, a card: what is found and restored is the card's.
    jextest::TempDir dir;
    const std::string card = jextest::MakeFatImage(dir, "card.img", 32, 34000);
    jextest::WriteFile(dir.File("photo"), jextest::Content(5000, 3));
    const std::string m = "MTOOLS_SKIP_CHECK=1 ", i = " -i " + jextest::Quote(card) + " ";
    ASSERT_EQ(jextest::Run(m + "mcopy" + i + jextest::Quote(dir.File("photo")) + " ::/Foto.jpg"), 0);
    ASSERT_EQ(jextest::Run(m + "mdel" + i + "::/Foto.jpg"), 0);
    const std::string named = dir.File("sdz9");
    jextest::WriteFile(named, std::vector<uint8_t>(1 << 20, 0));
    int fd = ::open(card.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    jextest::BoundCore().GrantDevice(named, fd);
    // The core keeps its own descriptor.
    ::close(fd);

    jextest::ExportScan scan(named);
    ASSERT_TRUE(scan.fs);
    EXPECT_EQ(scan.fs->GetName(), L"FAT32");
    auto photo = scan.File("sdz9/Foto.jpg");
    ASSERT_TRUE(photo);
    EXPECT_EQ(jextest::Restore(photo, dir.File("Foto.jpg")), jextest::Content(5000, 3));
}
