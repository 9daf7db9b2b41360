#include "fat32/BlockReader.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

namespace {

std::vector<uint8_t> Pattern(size_t size)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

std::vector<uint8_t> ReadSome(CBlockReader& reader, size_t count)
{
    std::vector<uint8_t> out(count);
    int64_t got = reader.read(count, out.data());
    out.resize(got > 0 ? static_cast<size_t>(got) : 0);
    return out;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& bytes, size_t from, size_t count)
{
    return std::vector<uint8_t>(bytes.begin() + from, bytes.begin() + from + count);
}

} // namespace

TEST(BlockReader, ReadsAcrossBlocksFromAnyPosition)
{
    jextest::TempDir dir;
    const std::vector<uint8_t> data = Pattern(5000);
    jextest::WriteFile(dir.File("v"), data);
    for (int32_t block : {512, 4096, 1, 0}) {
        CBlockReader reader(block);
        std::string error;
        ASSERT_EQ(reader.open(dir.File("v"), error), 0) << error;
        // Entry-sized reads, one ending exactly at a block end.
        EXPECT_EQ(reader.seek(480, CBlockReader::kFromStart), 480u);
        EXPECT_EQ(ReadSome(reader, 32), Slice(data, 480, 32)) << block;
        EXPECT_EQ(reader.seek(0, CBlockReader::kFromCurrent), 512u);
        EXPECT_EQ(ReadSome(reader, 32), Slice(data, 512, 32)) << block;
        // An unaligned seek, then a large read that crosses blocks.
        reader.seek(1001, CBlockReader::kFromStart);
        EXPECT_EQ(ReadSome(reader, 3000), Slice(data, 1001, 3000)) << block;
        // A large aligned read, then the end of the volume.
        reader.seek(1024, CBlockReader::kFromStart);
        EXPECT_EQ(ReadSome(reader, 2048), Slice(data, 1024, 2048)) << block;
        reader.seek(4990, CBlockReader::kFromStart);
        EXPECT_EQ(ReadSome(reader, 64), Slice(data, 4990, 10)) << block;
        reader.seek(6000, CBlockReader::kFromStart);
        EXPECT_TRUE(ReadSome(reader, 32).empty()) << block;
        EXPECT_EQ(reader.volumeSize(), 5000u);
    }
}

TEST(BlockReader, NothingOpen)
{
    CBlockReader reader(512);
    uint8_t buffer[32];
    EXPECT_EQ(reader.read(32, buffer), -1);
    EXPECT_EQ(reader.seek(0, CBlockReader::kFromStart), CBlockReader::kInvalidPosition);
    std::string error;
    EXPECT_EQ(reader.open("/nonexistent/volume.img", error), -1);
    EXPECT_EQ(error, "No such file or directory");
    EXPECT_EQ(reader.open("", error), -1);

    jextest::TempDir dir;
    jextest::WriteFile(dir.File("v"), Pattern(600));
    ASSERT_EQ(reader.open(dir.File("v"), error), 0);
    EXPECT_EQ(reader.seek(10, CBlockReader::kFromEnd), 0u);
    reader.close();
    EXPECT_EQ(reader.read(32, buffer), -1);
}
