// Reading volumes: the end of a volume, read errors and a device that goes
// away are told apart, and a read that does not give up keeps what it can.
#include "jexplatform/VolumeSource.h"
#include "support/FaultySource.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

namespace {

std::unique_ptr<jextest::FaultySource> Faulty(const std::string& path)
{
    std::string error;
    auto inner = ZelOpenVolumeSource(path, error);
    EXPECT_TRUE(inner) << error;
    return std::make_unique<jextest::FaultySource>(std::move(inner));
}

} // namespace

TEST(VolumeSource, AnImageEndsWhereItsFileEnds)
{
    jextest::TempDir dir;
    const auto data = jextest::Content(5000, 1);
    jextest::WriteFile(dir.File("v.img"), data);
    std::string error;
    auto source = ZelOpenVolumeSource(dir.File("v.img"), error);
    ASSERT_TRUE(source) << error;
    EXPECT_EQ(source->Size(), 5000u);
    EXPECT_EQ(source->SectorSize(), 512u);
    std::vector<uint8_t> buffer(1000);
    CZelRead read = source->ReadAt(4000, buffer.data(), 1000);
    EXPECT_TRUE(read.Complete());
    read = source->ReadAt(4500, buffer.data(), 1000);
    EXPECT_EQ(read.end, ZelReadEnd::VolumeEnd);
    EXPECT_EQ(read.bytes, 500u);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 500),
              std::vector<uint8_t>(data.begin() + 4500, data.end()));
    EXPECT_FALSE(ZelOpenVolumeSource(dir.File("missing.img"), error));
    EXPECT_EQ(error, "No such file or directory");
}

TEST(VolumeSource, ASalvagingReadTriesAgainThenZerosWhatItCannotRead)
{
    jextest::TempDir dir;
    const auto data = jextest::Content(8192, 2);
    jextest::WriteFile(dir.File("v.img"), data);
    std::vector<uint8_t> buffer(8192);

    // A failure that goes away when tried again costs nothing.
    auto source = Faulty(dir.File("v.img"));
    source->FailAt(1000, 10, 1);
    CZelSalvagedRead read = ZelReadSalvaging(*source, 0, buffer.data(), 8192, 512);
    EXPECT_EQ(read.bytes, 8192u);
    EXPECT_EQ(read.unreadable, 0u);
    EXPECT_EQ(buffer, data);

    // A lasting one: in each block it touches, what lies from the failing
    // spot on is zeros; everything else is read.
    source = Faulty(dir.File("v.img"));
    source->FailAt(1000, 100);
    source->FailAt(4096, 1);
    read = ZelReadSalvaging(*source, 0, buffer.data(), 8192, 512);
    EXPECT_EQ(read.bytes, 8192u);
    EXPECT_EQ(read.unreadable, (1536u - 1000u) + 512u);
    EXPECT_EQ(read.error, EIO);
    EXPECT_FALSE(read.vanished);
    std::vector<uint8_t> expected = data;
    std::fill(expected.begin() + 1000, expected.begin() + 1536, 0);
    std::fill(expected.begin() + 4096, expected.begin() + 4608, 0);
    EXPECT_EQ(buffer, expected);

    // Past the end of the volume nothing is made up.
    source = Faulty(dir.File("v.img"));
    source->FailAt(7000, 1);
    read = ZelReadSalvaging(*source, 4096, buffer.data(), 8192, 512);
    EXPECT_EQ(read.bytes, 4096u);
    EXPECT_EQ(read.unreadable, 7168u - 7000u);

    // A device that goes away ends the read: the two tries of the whole,
    // then three blocks, and the fourth finds it gone.
    source = Faulty(dir.File("v.img"));
    source->FailAt(1024, 1);
    source->VanishAfter(5);
    read = ZelReadSalvaging(*source, 0, buffer.data(), 8192, 512);
    EXPECT_TRUE(read.vanished);
    EXPECT_EQ(read.error, ENODEV);
    EXPECT_EQ(read.bytes, 1536u);
    EXPECT_EQ(read.unreadable, 512u);
}
