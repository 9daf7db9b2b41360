// A search through the recovery library: errors come back per call, and
// the found list keeps the scan's order, names and sizes.
#include "jexcommon/ZelText.h"
#include "jexrecovery/ZelFilterRequest.h"
#include "jexrecovery/ZelRecoveryScan.h"
#include "support/ExportCore.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

using jextest::BoundCore;
using jextest::Quote;

namespace {

// A FAT32 image with deleted files of the given sizes, named by their size
// ("Datei 999.dat"), in a folder "Ordner".
std::string CardWithSizes(const jextest::TempDir& dir, std::initializer_list<size_t> sizes)
{
    std::string image = jextest::MakeFatImage(dir, "card.img", 32, 34000);
    std::string mtools = "MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8 ";
    EXPECT_EQ(jextest::Run(mtools + "mmd -i " + Quote(image) + " ::/Ordner"), 0);
    for (size_t size : sizes) {
        std::string name = "Datei " + std::to_string(size) + ".dat";
        jextest::WriteFile(dir.File(name), jextest::Content(size, static_cast<uint32_t>(size)));
        EXPECT_EQ(jextest::Run(mtools + "mcopy -i " + Quote(image) + " " + Quote(dir.File(name)) + " " +
                               Quote("::/Ordner/" + name)),
                  0);
    }
    for (size_t size : sizes)
        EXPECT_EQ(jextest::Run(mtools + "mdel -i " + Quote(image) + " " +
                               Quote("::/Ordner/Datei " + std::to_string(size) + ".dat")),
                  0);
    return image;
}

std::vector<std::string> FoundPaths(const CZelRecoveryScan& scan)
{
    std::vector<std::string> paths;
    for (const CZelFoundEntry& e : scan.Found())
        paths.push_back(e.Path());
    return paths;
}

} // namespace

TEST(RecoveryScan, VolumesThatCannotBeSearchedSayWhyWithoutTheMessageHook)
{
    jextest::TempDir dir;
    std::string ext4 = jextest::MakeExt4Image(dir, "linux.img", 4096);
    jextest::ScopedMessageCapture capture;
    CZelRecoveryScan scan(*BoundCore().GetFileSystemCreator());
    EXPECT_EQ(scan.Progress(), 0.0);
    std::string error;
    EXPECT_FALSE(scan.Prepare(ext4, error));
    EXPECT_EQ(error, ext4 + ": holds an ext4 file system; only FAT12, FAT16, FAT32, NTFS and exFAT volumes can be searched");
    EXPECT_FALSE(scan.Prepare(dir.File("gone.img"), error));
    EXPECT_EQ(error, dir.File("gone.img") + ": No such file or directory");
    EXPECT_FALSE(scan.Search({}, error));
    EXPECT_NE(error.find("no volume is prepared"), std::string::npos) << error;
    EXPECT_TRUE(capture.Messages().empty());
}

TEST(RecoveryScan, FoundEntriesInTheScansOrderWithAFilter)
{
    jextest::TempDir dir;
    std::string image = CardWithSizes(dir, {999, 1000, 3000, 5000, 5001});
    CZelRecoveryScan scan(*BoundCore().GetFileSystemCreator());
    std::string error;
    ASSERT_TRUE(scan.Prepare(image, error)) << error;
    ASSERT_EQ(ZelWideToNarrow(scan.FileSystem()->GetName()), "FAT32");
    std::vector<double> reported;
    ASSERT_TRUE(scan.SearchShowingProgress({}, error, [&](double p) { reported.push_back(p); })) << error;
    EXPECT_EQ(FoundPaths(scan),
              (std::vector<std::string>{"card.img/Ordner", "card.img/Ordner/Datei 999.dat",
                                        "card.img/Ordner/Datei 1000.dat", "card.img/Ordner/Datei 3000.dat",
                                        "card.img/Ordner/Datei 5000.dat", "card.img/Ordner/Datei 5001.dat"}));
    // Files are numbered from 1 in the scan's order; the folder has none.
    for (size_t i = 0; i < scan.Found().size(); ++i)
        EXPECT_EQ(scan.Found()[i].index, i);
    EXPECT_EQ(scan.Found()[0].index, 0u);
    EXPECT_TRUE(scan.Found()[0].directory);
    EXPECT_EQ(scan.Found()[1].name, "Datei 999.dat");
    EXPECT_EQ(scan.Found()[1].size, 999u);
    EXPECT_TRUE(scan.Found()[1].deleted);
    EXPECT_GT(scan.Progress(), 0.0);
    for (double p : reported)
        EXPECT_TRUE(p >= 0.0 && p <= 1.0) << p;

    // Bounds the user gives include the sizes they name.
    CZelFilterRequest request;
    request.byExtension = true;
    request.extensions = {L"DAT"};
    request.hasMinSize = request.hasMaxSize = true;
    request.minSize = 1000;
    request.maxSize = 5000;
    auto filter = ZelBuildFilter(*BoundCore().GetCreator(), request, error);
    ASSERT_TRUE(filter) << error;
    ASSERT_TRUE(scan.Search(filter, error)) << error;
    EXPECT_EQ(FoundPaths(scan), (std::vector<std::string>{"card.img/Ordner", "card.img/Ordner/Datei 1000.dat",
                                                          "card.img/Ordner/Datei 3000.dat",
                                                          "card.img/Ordner/Datei 5000.dat"}));
    request.extensions = {L"txt"};
    ASSERT_TRUE(scan.Search(ZelBuildFilter(*BoundCore().GetCreator(), request, error), error)) << error;
    EXPECT_EQ(FoundPaths(scan), (std::vector<std::string>{"card.img/Ordner"}));
    // Extensions asked for, but none given (an empty category): no file.
    request.extensions.clear();
    request.hasMinSize = request.hasMaxSize = false;
    ASSERT_TRUE(scan.Search(ZelBuildFilter(*BoundCore().GetCreator(), request, error), error)) << error;
    EXPECT_EQ(FoundPaths(scan), (std::vector<std::string>{"card.img/Ordner"}));
    // Nothing asked: no filter at all.
    EXPECT_FALSE(ZelBuildFilter(*BoundCore().GetCreator(), CZelFilterRequest(), error));
}

TEST(RecoveryScan, RequestsAcceptNamesAndSizesAsTheEnginesFiltersDo)
{
    CZelFilterRequest sizes;
    sizes.hasMinSize = sizes.hasMaxSize = true;
    sizes.minSize = 1000;
    sizes.maxSize = 5000;
    EXPECT_FALSE(ZelRequestAccepts(sizes, "a.dat", 999));
    EXPECT_TRUE(ZelRequestAccepts(sizes, "a.dat", 1000));
    EXPECT_TRUE(ZelRequestAccepts(sizes, "a.dat", 5000));
    EXPECT_FALSE(ZelRequestAccepts(sizes, "a.dat", 5001));
    EXPECT_TRUE(ZelRequestAccepts(CZelFilterRequest(), "anything", 0));

    CZelFilterRequest kinds;
    kinds.byExtension = true;
    kinds.extensions = {L"jpg", L"TAR"};
    EXPECT_TRUE(ZelRequestAccepts(kinds, "IMG_0001.JPG", 1));
    EXPECT_TRUE(ZelRequestAccepts(kinds, "backup.2026.tar", 1));
    EXPECT_FALSE(ZelRequestAccepts(kinds, "backup.tar.gz", 1));
    EXPECT_FALSE(ZelRequestAccepts(kinds, "jpg.png", 1));
    // The engines take a name without a dot for its own extension.
    EXPECT_TRUE(ZelRequestAccepts(kinds, "jpg", 1));
    // Asking for extensions but naming none finds nothing.
    CZelFilterRequest none;
    none.byExtension = true;
    EXPECT_FALSE(ZelRequestAccepts(none, "a.jpg", 1));
}
