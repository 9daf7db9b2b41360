// LZNT1 chunks written by hand: literals, back-references whose split of
// offset and length bits moves with the position, stored chunks, and
// chunks that are broken.
#include "ntfs/NtfsLznt1.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Decompress(const std::vector<uint8_t>& in, size_t room, bool* ok = nullptr)
{
    std::vector<uint8_t> out(room, 0xEE);
    size_t produced = 0;
    bool done = ZelLznt1Decompress(in.data(), in.size(), out.data(), out.size(), produced);
    if (ok != nullptr)
        *ok = done;
    return std::string(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(produced));
}

} // namespace

TEST(Lznt1, LiteralsAndBackReferences)
{
    // "abc", then 9 bytes from 3 back: offset 3, length 9 with 12 length
    // bits at position 3.
    std::vector<uint8_t> chunk{0x08, 'a', 'b', 'c', 0x06, 0x20};
    std::vector<uint8_t> in{0x05, 0xB0};
    in.insert(in.end(), chunk.begin(), chunk.end());
    in.insert(in.end(), {0, 0});
    EXPECT_EQ(Decompress(in, 4096), "abcabcabcabc");
    // The output ends where there is room.
    EXPECT_EQ(Decompress(in, 5), "abcab");

    // At position 20 the split is 11 length bits: offset 20, length 4 is
    // (19 << 11) | 1.
    std::vector<uint8_t> far{0x05, 0xB0 /* patched below */};
    std::vector<uint8_t> body;
    std::string text = "0123456789ABCDEFGHIJ";
    // Two flag bytes of eight literals, then one whose fifth item is the
    // back-reference.
    for (size_t i = 0; i < text.size(); i += 8) {
        body.push_back(i + 8 < text.size() ? 0x00 : 0x10);
        for (size_t j = i; j < i + 8 && j < text.size(); ++j)
            body.push_back(static_cast<uint8_t>(text[j]));
    }
    const uint16_t token = static_cast<uint16_t>((19 << 11) | 1);
    body.push_back(token & 0xFF);
    body.push_back(token >> 8);
    far[0] = static_cast<uint8_t>((body.size() - 1) & 0xFF);
    far[1] = static_cast<uint8_t>(0xB0 | (((body.size() - 1) >> 8) & 0x0F));
    far.insert(far.end(), body.begin(), body.end());
    EXPECT_EQ(Decompress(far, 4096), text + "0123");
}

TEST(Lznt1, StoredChunksAndBrokenOnes)
{
    // A stored chunk of 4096 bytes, then a compressed one.
    std::vector<uint8_t> in{0xFF, 0x3F};
    for (int i = 0; i < 4096; ++i)
        in.push_back(static_cast<uint8_t>('a' + i % 26));
    in.insert(in.end(), {0x01, 0xB0, 0x00, 'z'});
    std::string out = Decompress(in, 8192);
    ASSERT_EQ(out.size(), 4097u);
    EXPECT_EQ(out.substr(0, 3), "abc");
    EXPECT_EQ(out.back(), 'z');

    // A back-reference before the chunk's start, and a chunk longer than
    // the input: refused, what came before stays.
    bool ok = true;
    EXPECT_EQ(Decompress({0x03, 0xB0, 0x02, 'a', 0x00, 0x10}, 4096, &ok), "a");
    EXPECT_FALSE(ok);
    Decompress({0x40, 0xB0, 0x00, 'a'}, 4096, &ok);
    EXPECT_FALSE(ok);
}
