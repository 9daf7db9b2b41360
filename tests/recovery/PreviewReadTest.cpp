// A found file read into memory for a preview, through each engine: whole
// within the limit, its first bytes beyond it, refused once its search has
// ended, and nothing written to any disk.
#include "jexrecovery/ZelPreviewRead.h"

#include "support/ExfatImage.h"
#include "support/ExportCore.h"
#include "support/NtfsImageWriter.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace {

// A volume of each engine with one deleted file, "Bild.jpg", holding data.
const std::vector<std::pair<const char*, std::function<std::string(const jextest::TempDir&,
                                                                    const std::vector<uint8_t>&)>>>
    kVolumes{
        {"FAT32",
         [](const jextest::TempDir& dir, const std::vector<uint8_t>& data) {
             std::string image = jextest::MakeFatImage(dir, "card.img", 32, 34000);
             jextest::WriteFile(dir.File("data"), data);
             const std::string m = "MTOOLS_SKIP_CHECK=1 ", i = " -i " + jextest::Quote(image) + " ";
             EXPECT_EQ(jextest::Run(m + "mcopy" + i + jextest::Quote(dir.File("data")) + " ::/Bild.jpg"), 0);
             EXPECT_EQ(jextest::Run(m + "mdel" + i + "::/Bild.jpg"), 0);
             std::filesystem::remove(dir.File("data"));
             return image;
         }},
        {"NTFS",
         [](const jextest::TempDir& dir, const std::vector<uint8_t>& data) {
             std::string image = jextest::MakeNtfsImage(dir, "disk.img", 16);
             jextest::NtfsImageWriter writer(image);
             writer.File("/Bild.jpg", data);
             writer.Delete("/Bild.jpg");
             return image;
         }},
        {"exFAT",
         [](const jextest::TempDir& dir, const std::vector<uint8_t>& data) {
             std::string image = jextest::MakeExfatImage(dir, "card.img", 8);
             jextest::ExfatImageEditor(image).PutDeletedFiles({{"Bild.jpg", data}});
             return image;
         }},
    };

size_t FilesIn(const std::string& folder)
{
    return static_cast<size_t>(std::distance(std::filesystem::recursive_directory_iterator(folder),
                                             std::filesystem::recursive_directory_iterator()));
}

} // namespace

TEST(PreviewRead, EveryEngineReadsAFileIntoMemoryUpToTheLimit)
{
    const std::vector<uint8_t> data = jextest::Content(9000, 4);
    const std::string bytes(data.begin(), data.end());
    for (const auto& volume : kVolumes) {
        SCOPED_TRACE(volume.first);
        jextest::TempDir dir;
        const std::string image = volume.second(dir, data);
        CZelRecoveryScan scan(*jextest::BoundCore().GetFileSystemCreator());
        std::string error;
        ASSERT_TRUE(scan.Prepare(image, error)) << error;
        ASSERT_TRUE(scan.Search({}, error)) << error;
        const CZelFoundEntry* found = nullptr;
        for (const CZelFoundEntry& entry : scan.Found())
            if (entry.name == "Bild.jpg")
                found = &entry;
        ASSERT_NE(found, nullptr);
        const size_t files = FilesIn(dir.Path());

        CZelPreviewData whole = ZelReadForPreview(*found, 1 << 20);
        EXPECT_EQ(whole.result, ZelRestoreResult::Restored) << whole.reason;
        EXPECT_TRUE(whole.whole);
        EXPECT_TRUE(whole.bytes == bytes);
        CZelPreviewData first = ZelReadForPreview(*found, 1000);
        EXPECT_EQ(first.result, ZelRestoreResult::Restored) << first.reason;
        EXPECT_FALSE(first.whole);
        EXPECT_TRUE(first.bytes == bytes.substr(0, 1000));
        EXPECT_EQ(FilesIn(dir.Path()), files);

        // The entry of a search that has ended is not read.
        const CZelFoundEntry kept = *found;
        ASSERT_TRUE(scan.Search({}, error)) << error;
        CZelPreviewData late = ZelReadForPreview(kept, 1 << 20);
        EXPECT_EQ(late.result, ZelRestoreResult::Failed);
        EXPECT_TRUE(late.bytes.empty());
        EXPECT_FALSE(late.reason.empty());
    }
}
