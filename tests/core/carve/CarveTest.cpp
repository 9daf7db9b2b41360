// The signature search on files the real encoders wrote, laid on cluster
// starts between noise and zeros as a card holds them: each is measured to
// its exact end and checked, and one that was broken or cut never passes
// as whole.
#include "carve/Carver.h"
#include "support/MediaFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

namespace {

constexpr uint64_t kCluster = 4096;

std::vector<uint8_t> Noise(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random());
    return bytes;
}

// Lays the parts one after another, each from a cluster start, with noise
// up to it; returns where each began.
std::vector<uint64_t> Lay(std::vector<uint8_t>& volume, const std::vector<std::vector<uint8_t>>& parts)
{
    std::vector<uint64_t> starts;
    uint32_t seed = 1;
    for (const auto& part : parts) {
        const std::vector<uint8_t> pad = Noise((kCluster - volume.size() % kCluster) % kCluster + kCluster, seed++);
        volume.insert(volume.end(), pad.begin(), pad.end());
        starts.push_back(volume.size());
        volume.insert(volume.end(), part.begin(), part.end());
    }
    volume.resize(volume.size() + 3 * kCluster, 0);
    return starts;
}

// Hands the volume over in uneven pieces, as stretches of a pass are.
std::vector<CZelCarvedFile> CarveVolume(const std::vector<uint8_t>& volume,
                                  std::vector<std::pair<uint64_t, uint64_t>> claimed = {})
{
    CZelCarver carver(kCluster, 0);
    for (size_t at = 0; at < volume.size();) {
        const size_t piece = std::min<size_t>(volume.size() - at, at % 3 == 0 ? 65536 : 12288);
        carver.Feed(at, volume.data() + at, piece);
        at += piece;
    }
    carver.Finish();
    carver.Settle(std::move(claimed));
    return carver.Files();
}

const CZelCarvedFile* At(const std::vector<CZelCarvedFile>& files, uint64_t offset)
{
    for (const CZelCarvedFile& file : files)
        if (file.offset == offset)
            return &file;
    return nullptr;
}

// The files are made once for all the tests.
class Carving : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_Dir = new jextest::TempDir;
        s_Media = jextest::MakeMediaFiles(*s_Dir, s_Reason);
    }
    static void TearDownTestSuite()
    {
        delete s_Dir;
        s_Dir = nullptr;
    }
    void SetUp() override
    {
        if (s_Media.empty())
            GTEST_SKIP() << s_Reason;
    }

    static jextest::TempDir* s_Dir;
    static std::map<std::string, std::vector<uint8_t>> s_Media;
    static std::string s_Reason;
    const std::map<std::string, std::vector<uint8_t>>& media = s_Media;
};

jextest::TempDir* Carving::s_Dir = nullptr;
std::map<std::string, std::vector<uint8_t>> Carving::s_Media;
std::string Carving::s_Reason;

TEST_F(Carving, EveryKindIsMeasuredToItsExactEndAndChecked)
{
    struct Kind {
        const char* type;
        // Text has no structure to check.
        bool checked;
    };
    const std::map<std::string, Kind> types = {
        {"photo.jpg", {"jpg", true}},     {"progressive.jpg", {"jpg", true}}, {"picture.png", {"png", true}},
        {"picture.gif", {"gif", true}},   {"picture.bmp", {"bmp", true}},     {"picture.tif", {"tif", true}},
        {"clip.mp4", {"mp4", true}},      {"clip.mov", {"mov", true}},        {"clip.avi", {"avi", true}},
        {"sound.wav", {"wav", true}},     {"tagged.mp3", {"mp3", true}},      {"bare.mp3", {"mp3", true}},
        {"sound.ogg", {"ogg", true}},     {"document.pdf", {"pdf", true}},    {"archive.zip", {"zip", true}},
        {"letter.docx", {"docx", true}},  {"letter.odt", {"odt", true}},      {"letter.doc", {"doc", true}},
        {"letter.rtf", {"rtf", true}},    {"notes.txt.gz", {"gz", true}},     {"contacts.sqlite", {"sqlite", true}},
        {"picture.psd", {"psd", true}},   {"sound.flac", {"flac", true}},     {"clip.mpg", {"mpg", true}},
        {"notes.rar", {"rar", true}},     {"silence.flac", {"flac", true}},   {"chained.ogg", {"ogg", true}},
        {"camera.jpg", {"jpg", true}},   {"image.xcf", {"xcf", true}},       {"restart.jpg", {"jpg", true}},
    };
    std::vector<std::vector<uint8_t>> parts;
    for (const auto& type : types)
        parts.push_back(media.at(type.first));
    std::vector<uint8_t> volume;
    const std::vector<uint64_t> starts = Lay(volume, parts);
    const std::vector<CZelCarvedFile> files = CarveVolume(volume);

    size_t i = 0;
    for (const auto& type : types) {
        const CZelCarvedFile* file = At(files, starts[i]);
        const size_t size = parts[i++].size();
        ASSERT_NE(file, nullptr) << type.first;
        EXPECT_EQ(file->length, size) << type.first;
        EXPECT_EQ(file->type, type.second.type) << type.first;
        EXPECT_EQ(file->validated, type.second.checked) << type.first << ": " << file->problem;
    }
    // The thumbnail inside the photo, the photo inside the archive and the
    // PDF's picture are parts of their files, not files of their own.
    EXPECT_EQ(files.size(), types.size());

    // Text ends at the first byte that is no text: the zeros after it in
    // its last cluster. Nothing in it can be checked.
    std::vector<uint8_t> text;
    const uint64_t start = Lay(text, {media.at("notes.txt")}).front();
    const std::vector<CZelCarvedFile> notes = CarveVolume(text);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].offset, start);
    EXPECT_EQ(notes[0].length, media.at("notes.txt").size());
    EXPECT_EQ(notes[0].type, "txt");
    EXPECT_FALSE(notes[0].validated);
}

TEST_F(Carving, ABrokenOrCutFileNeverPassesAsWhole)
{
    struct Case {
        const char* name;
        std::string file;
        // Changes the file as it lies on the volume.
        std::function<void(std::vector<uint8_t>&)> damage;
        // What is then found at its start: nothing, or a file that is not
        // whole, with this in its problem.
        const char* problem;
    };
    const auto flip = [](double where) {
        return [where](std::vector<uint8_t>& b) { b[static_cast<size_t>(b.size() * where)] ^= 0x5A; };
    };
    const auto cut = [](double share, uint8_t fill) {
        return [share, fill](std::vector<uint8_t>& b) {
            const size_t keep = static_cast<size_t>(b.size() * share);
            std::fill(b.begin() + static_cast<std::ptrdiff_t>(keep), b.end(), fill);
        };
    };
    const Case cases[] = {
        {"a PNG with a byte changed", "picture.png", flip(0.5), "CRC"},
        {"a PNG cut short", "picture.png", cut(0.6, 0), nullptr},
        {"a ZIP with a byte changed in a member", "archive.zip", flip(0.3), ""},
        {"an Ogg page with a byte changed", "sound.ogg", flip(0.5), "CRC"},
        {"a JPEG whose end was overwritten", "photo.jpg", cut(0.7, 0), nullptr},
        {"a JPEG whose restart markers came apart", "restart.jpg",
         [](std::vector<uint8_t>& b) {
             // The fourth restart marker made a third.
             for (size_t i = 0; i + 1 < b.size(); ++i)
                 if (b[i] == 0xFF && b[i + 1] == 0xD3) {
                     b[i + 1] = 0xD2;
                     break;
                 }
         },
         "restart markers"},
        {"an AVI cut short", "clip.avi", cut(0.5, 0), nullptr},
        {"an MP4 whose movie box is gone", "clip.mp4", cut(0.95, 0), nullptr},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> part = media.at(c.file);
        c.damage(part);
        std::vector<uint8_t> volume;
        const uint64_t start = Lay(volume, {part}).front();
        const CZelCarvedFile* file = nullptr;
        const std::vector<CZelCarvedFile> files = CarveVolume(volume);
        file = At(files, start);
        if (file != nullptr) {
            EXPECT_FALSE(file->validated) << c.name;
            if (c.problem != nullptr) {
                EXPECT_NE(file->problem.find(c.problem), std::string::npos) << c.name << ": " << file->problem;
            }
        }
    }
}

TEST_F(Carving, AFileCutShortByAnotherOfItsKindLeavesThatOneWhole)
{
    // A photo's first two clusters, then at once another photo: the first
    // breaks off where the second begins, and the second is whole.
    std::vector<uint8_t> volume(kCluster, 0);
    const std::vector<uint8_t>& first = media.at("photo.jpg");
    volume.insert(volume.end(), first.begin(), first.begin() + 2 * kCluster);
    const uint64_t second = volume.size();
    const std::vector<uint8_t>& whole = media.at("progressive.jpg");
    volume.insert(volume.end(), whole.begin(), whole.end());
    volume.resize(volume.size() + 2 * kCluster, 0);
    const std::vector<CZelCarvedFile> files = CarveVolume(volume);
    const CZelCarvedFile* found = At(files, second);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->length, whole.size());
    EXPECT_TRUE(found->validated);
    const CZelCarvedFile* cut = At(files, kCluster);
    EXPECT_TRUE(cut == nullptr || !cut->validated);
}

TEST_F(Carving, AFileWhoseEndOnlyWhatFollowsTellsEndsWhereTheFreeSpaceDoes)
{
    // A cluster in use follows a few bytes after the file: the pass hands
    // over nothing more, and the file ends where its structure does.
    for (const char* name : {"clip.mp4", "tagged.mp3", "clip.mpg"}) {
        std::vector<uint8_t> stretch(kCluster, 0);
        const std::vector<uint8_t>& file = media.at(name);
        stretch.insert(stretch.end(), file.begin(), file.end());
        stretch.resize(stretch.size() + 5, 0x55);
        CZelCarver carver(512, 0);
        carver.Feed(0, stretch.data(), stretch.size());
        carver.Feed(stretch.size() + (1 << 20), stretch.data(), kCluster);
        carver.Finish();
        carver.Settle({});
        const CZelCarvedFile* found = At(carver.Files(), kCluster);
        ASSERT_NE(found, nullptr) << name;
        EXPECT_EQ(found->length, file.size()) << name;
        EXPECT_TRUE(found->validated) << name << ": " << found->problem;
    }
}

TEST_F(Carving, FilesFoundByTheirRecordsWin)
{
    const std::vector<uint8_t>& photo = media.at("photo.jpg");
    const std::vector<uint8_t>& picture = media.at("picture.png");
    std::vector<uint8_t> volume;
    const std::vector<uint64_t> starts = Lay(volume, {photo, picture});
    // A found file's clusters hold the photo's start: it is not reported
    // twice. Another's begin inside the picture: it is cut there.
    const uint64_t inside = starts[1] + kCluster;
    const std::vector<CZelCarvedFile> files =
        CarveVolume(volume, {{starts[0], starts[0] + photo.size()}, {inside, inside + kCluster}});
    EXPECT_EQ(At(files, starts[0]), nullptr);
    const CZelCarvedFile* cut = At(files, starts[1]);
    ASSERT_NE(cut, nullptr);
    EXPECT_EQ(cut->length, kCluster);
    EXPECT_FALSE(cut->validated);
    EXPECT_NE(cut->problem.find("a file found by its record claims"), std::string::npos) << cut->problem;
}

} // namespace
