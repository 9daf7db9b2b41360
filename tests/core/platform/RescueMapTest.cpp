// GNU ddrescue maps: what they say was read, and the maps that are refused.
#include "jexplatform/DeviceFile.h"
#include "jexplatform/RescueMap.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

namespace {

CZelRescueMap Parsed(const std::string& text)
{
    CZelRescueMap map;
    std::string error;
    EXPECT_TRUE(CZelRescueMap::Parse(text.data(), text.size(), map, error)) << error;
    return map;
}

// What a read of count bytes at offset brings: the bytes read, and errno.
std::pair<int64_t, int> ReadOf(const CZelDeviceFile& file, uint64_t offset, size_t count)
{
    std::vector<uint8_t> buffer(count);
    int failed = 0;
    const int64_t got = file.ReadAt(offset, buffer.data(), count, failed);
    return {got, failed};
}

using Read = std::pair<int64_t, int>;

} // namespace

TEST(RescueMap, OnlyFinishedBlocksAreReadable)
{
    // As GNU ddrescue 1.27 writes it: every status a block can have.
    CZelRescueMap map = Parsed("# Mapfile. Created by GNU ddrescue version 1.27\n"
                               "# Command line: ddrescue /dev/sdb disk.img disk.map\n"
                               "# current_pos  current_status  current_pass\n"
                               "0x00003000     +               1\n"
                               "#      pos        size  status\n"
                               "0x00000000  0x00001000  +\n"
                               "0x00001000  0x00000200  -\n"
                               "0x00001200  0x00000200  /\n"
                               "0x00001400  0x00000200  *\n"
                               "0x00001600  0x00000200  ?\n"
                               "0x00001800  0x00000800  +\n"
                               "0x00002000  0x00001000  +\n");
    ASSERT_EQ(map.Blocks().size(), 7u);
    EXPECT_EQ(map.Described(), 0x3000u);
    EXPECT_EQ(map.Readable(0, 0x800), 0x800u);
    EXPECT_EQ(map.Readable(0xF00, 0x200), 0x100u);
    for (uint64_t unread : {0x1000u, 0x1200u, 0x1400u, 0x1600u, 0x17FFu})
        EXPECT_EQ(map.Readable(unread, 16), 0u) << unread;
    // Neighbouring finished blocks are one stretch.
    EXPECT_EQ(map.Readable(0x1800, 0x10000), 0x1800u);
    // Past what it describes nothing was tried.
    EXPECT_EQ(map.Readable(0x3000, 16), 0u);
    EXPECT_EQ(map.UnreadBytes(0x4000), 0x800u + 0x1000u);

    // An older map without the pass, decimal numbers, a gap (never tried),
    // comments after blanks.
    CZelRescueMap old = Parsed("0 +  # where it stopped\n0 512 + # first\n1024 512 +\t#\n");
    EXPECT_EQ(old.Readable(0, 2048), 512u);
    EXPECT_EQ(old.Readable(1024, 2048), 512u);
    EXPECT_EQ(old.UnreadBytes(1536), 512u);
}

TEST(RescueMap, MalformedMapsAreRefusedNamingTheLine)
{
    using namespace std::string_literals;
    const struct {
        std::string text;
        const char* error;
    } cases[] = {
        {"", "line 1: the map ends before its current-position line"},
        {"# only a comment\n", "line 2: the map ends before its current-position line"},
        {"0x0 X 1\n", "line 1: is no current-position line"},
        {"0x0 + 1 9\n", "line 1: is no current-position line"},
        {"0 +\n0x0 0x200\n", "line 2: is no block line"},
        {"0 +\n0x0 0x200 F\n", "line 2: is no block line"},
        {"0 +\n0x0 0x2g0 +\n", "line 2: is no block line"},
        {"0 +\n0x0 0 +\n", "line 2: describes a block of no bytes"},
        {"0 +\n0x0 0x400 +\n0x200 0x400 -\n", "line 3: overlaps the block above it"},
        {"0 +\n0x400 0x200 +\n0x0 0x200 -\n", "line 3: comes before the block above it"},
        {"0 +\n0x7FFFFFFFFFFFFFFF 0x10 +\n", "line 2: describes a block that ends past the largest position"},
        {"0 +\n0xFFFFFFFFFFFFFFFF 0x10 +\n", "line 2: is no block line"},
        {"0 +\n0x0 0x200 +\n\x7f" "ELF\0\0\n"s, "line 3: holds a zero byte"},
    };
    for (const auto& c : cases) {
        const std::string& text = c.text;
        CZelRescueMap map;
        std::string error;
        EXPECT_FALSE(CZelRescueMap::Parse(text.data(), text.size(), map, error)) << text;
        EXPECT_EQ(error.rfind(c.error, 0), 0u) << text << " -> " << error;
    }
}

TEST(RescueMap, AnImageReadThroughItsMapFailsWhereTheCopyWasNotRead)
{
    jextest::TempDir dir;
    const std::string image = dir.File("copy.img");
    jextest::WriteFile(image, jextest::Content(8192, 3));
    // A map of another, larger copy is refused.
    CZelRescueMap larger = Parsed("0 +\n0 16384 +\n");
    std::string error;
    EXPECT_FALSE(ZelUseRescueMap(image, std::make_shared<CZelRescueMap>(larger), error));
    EXPECT_EQ(error.rfind("line 2: a block read whole ends at 16384, past the end of", 0), 0u) << error;
    EXPECT_NE(error.find("it is the map of another copy"), std::string::npos) << error;

    // A copy left short where nothing was read yet: the tail the map gives
    // past its end cannot be read, and the volume ends where the map does.
    std::string error2;
    ASSERT_TRUE(ZelUseRescueMap(image, std::make_shared<CZelRescueMap>(Parsed("0 +\n0 8192 +\n8192 8192 ?\n")),
                                error2))
        << error2;
    {
        CZelDeviceFile shortCopy;
        ASSERT_TRUE(shortCopy.Open(image, error2)) << error2;
        EXPECT_EQ(shortCopy.Size(), 16384u);
        EXPECT_EQ(ReadOf(shortCopy, 8192, 512), Read(0, EIO));
        EXPECT_EQ(ReadOf(shortCopy, 16384, 512), Read(0, 0));
    }

    // Sectors 4 and 5 were never read; the map describes 6 KiB of 8.
    auto map = std::make_shared<CZelRescueMap>(Parsed("0 +\n0 2048 +\n2048 1024 -\n3072 3072 +\n"));
    ASSERT_TRUE(ZelUseRescueMap(image, map, error)) << error;
    CZelDeviceFile file;
    ASSERT_TRUE(file.Open(image, error)) << error;
    EXPECT_EQ(ReadOf(file, 0, 4096), Read(2048, EIO));
    EXPECT_EQ(ReadOf(file, 3072, 3072), Read(3072, 0));
    // Past what the map describes: not tried, unreadable up to the file's
    // end, which ends the file as usual.
    EXPECT_EQ(ReadOf(file, 6144, 512), Read(0, EIO));
    EXPECT_EQ(ReadOf(file, 8192, 512), Read(0, 0));
    ZelForgetRescueMaps();
    ASSERT_TRUE(file.Open(image, error)) << error;
    EXPECT_EQ(ReadOf(file, 0, 8192).first, 8192);
}
