#include "engine/BlockReader.h"
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

std::vector<uint8_t> ReadSome(CBlockReader& reader, uint64_t offset, size_t count, ZelReadEnd expected)
{
    std::vector<uint8_t> out(count);
    CZelRead read = reader.ReadAt(offset, out.data(), count);
    EXPECT_EQ(read.end, expected) << offset << " " << count;
    out.resize(read.bytes);
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
        reader.Attach(ZelOpenVolumeSource(dir.File("v"), error));
        ASSERT_TRUE(reader.isOpen()) << error;
        const ZelReadEnd complete = ZelReadEnd::Complete;
        // Entry-sized reads, one ending exactly at a block end.
        EXPECT_EQ(ReadSome(reader, 480, 32, complete), Slice(data, 480, 32)) << block;
        EXPECT_EQ(ReadSome(reader, 512, 32, complete), Slice(data, 512, 32)) << block;
        // An unaligned read that crosses blocks, an aligned one, the end.
        EXPECT_EQ(ReadSome(reader, 1001, 3000, complete), Slice(data, 1001, 3000)) << block;
        EXPECT_EQ(ReadSome(reader, 1024, 2048, complete), Slice(data, 1024, 2048)) << block;
        EXPECT_EQ(ReadSome(reader, 4990, 64, ZelReadEnd::VolumeEnd), Slice(data, 4990, 10)) << block;
        // The last block ends with the volume: what is asked for is there.
        EXPECT_EQ(ReadSome(reader, 4900, 100, complete), Slice(data, 4900, 100)) << block;
        EXPECT_TRUE(ReadSome(reader, 6000, 32, ZelReadEnd::VolumeEnd).empty()) << block;
        EXPECT_EQ(reader.Size(), 5000u);
        EXPECT_EQ(reader.Path(), dir.File("v"));
    }
}

TEST(BlockReader, NothingOpen)
{
    CBlockReader reader(512);
    uint8_t buffer[32];
    CZelRead read = reader.ReadAt(0, buffer, 32);
    EXPECT_EQ(read.end, ZelReadEnd::Failed);
    EXPECT_EQ(read.bytes, 0u);
    EXPECT_EQ(reader.Size(), 0u);
    std::string error;
    EXPECT_FALSE(ZelOpenVolumeSource("/nonexistent/volume.img", error));
    EXPECT_EQ(error, "No such file or directory");
}
