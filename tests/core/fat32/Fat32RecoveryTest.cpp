// Deleted files on FAT32 images made with mkfs.fat and mtools come back
// through the core's exports alone.
#include "jexcommon/ZelText.h"
#include "support/ExportCore.h"
#include "support/MtoolsImage.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <map>

using jextest::Quote;

namespace {

using jextest::BoundCore;
using jextest::Content;

using jextest::MtoolsImage;

struct Geometry {
    int fatBits;
    uint32_t sectorSize, sectorsPerCluster, sizeKiB;
};

void PrintTo(const Geometry& g, std::ostream* out)
{
    *out << "FAT" << g.fatBits << ", " << g.sectorSize << "-byte sectors, " << g.sectorsPerCluster << " per cluster";
}

class Fat32Recovery : public ::testing::TestWithParam<Geometry> {};

} // namespace

TEST_P(Fat32Recovery, DeletedFilesComeBackWithNamesAndPaths)
{
    const Geometry g = GetParam();
    MtoolsImage card(g.sectorSize, g.sectorsPerCluster, g.sizeKiB, g.fatBits);
    std::map<std::string, std::vector<uint8_t>> deleted;
    auto put = [&](const std::string& path, size_t size, uint32_t seed, bool remove) {
        auto data = Content(size, seed);
        card.Put(path, data);
        if (remove)
            deleted[path] = data;
    };
    card.Folder("DCIM");
    card.Folder("Urlaub am Meer");
    card.Folder("Urlaub am Meer/Tag eins");
    card.Folder("Alte Sachen");
    card.Folder("Alte Sachen/Noch älter");
    put("Erster Brief an Oma.txt", 4000, 1, true);
    put("keep me.txt", 3000, 2, false);
    put("DCIM/Sonnenuntergang.JPG", 150000, 3, true);
    put("DCIM/Zweites Bild.jpg", 90001, 4, false);
    put("DCIM/IMG_0001.JPG", 2048, 10, true);
    // 8.3 names that mtools, as Windows and Linux, writes in capitals with
    // the small-letter flags.
    put("DCIM/IMG_2009.jpg", 3000, 11, true);
    put("DCIM/foto000.jpg", 1000, 12, true);
    put("Urlaub am Meer/Tag eins/Möwe über dem Strand.png", 70000, 5, true);
    put("Urlaub am Meer/Tag eins/Ohne Endung", 1, 6, true);
    put("Urlaub am Meer/Leere Datei.txt", 0, 7, true);
    put("Alte Sachen/Rechnung März.pdf", 12345, 8, false);
    put("Alte Sachen/Noch älter/Tagebuch 2019.txt", 513, 9, false);
    for (const auto& file : deleted)
        card.Delete(file.first);
    card.DeleteTree("Alte Sachen");
    deleted["Alte Sachen/Rechnung März.pdf"] = Content(12345, 8);
    deleted["Alte Sachen/Noch älter/Tagebuch 2019.txt"] = Content(513, 9);

    jextest::ExportScan scan = card.Scan();
    size_t files = scan.Files();
    EXPECT_EQ(files, deleted.size());
    // A name that fits 8.3 has no long name: its first letter is lost to
    // the deletion mark, and "_" stands in for it.
    for (const char* name : {"IMG_0001.JPG", "IMG_2009.jpg", "foto000.jpg"}) {
        deleted[std::string("DCIM/_") + (name + 1)] = deleted[std::string("DCIM/") + name];
        deleted.erase(std::string("DCIM/") + name);
    }
    for (const auto& file : deleted) {
        auto found = scan.File("card.img/" + file.first);
        ASSERT_TRUE(found) << file.first;
        EXPECT_TRUE(found->IsDeleted()) << file.first;
        EXPECT_EQ(found->GetSize(), file.second.size());
        EXPECT_EQ(jextest::Restore(found, card.dir.File("restored-" + std::to_string(files++))), file.second)
            << file.first;
    }
    // Live folders stay in the tree; the deleted folder is marked.
    ASSERT_TRUE(scan.Has("card.img/DCIM"));
    EXPECT_FALSE(scan.found["card.img/DCIM"]->IsDeleted());
    ASSERT_TRUE(scan.Has("card.img/Alte Sachen"));
    EXPECT_TRUE(scan.found["card.img/Alte Sachen"]->IsDeleted());
    EXPECT_TRUE(scan.found["card.img/Alte Sachen/Noch \xC3\xA4lter"]->IsDeleted());
    EXPECT_FALSE(scan.Has("card.img/keep me.txt"));
}

INSTANTIATE_TEST_SUITE_P(Geometries, Fat32Recovery,
                         ::testing::Values(Geometry{32, 512, 1, 34000}, Geometry{32, 512, 8, 270000},
                                           Geometry{32, 512, 128, 4200000}, Geometry{32, 4096, 1, 270000},
                                           Geometry{32, 4096, 16, 4200000}, Geometry{16, 512, 4, 65536},
                                           Geometry{16, 4096, 1, 200000}, Geometry{12, 512, 1, 1440},
                                           Geometry{12, 512, 4, 8000}));

TEST(Fat32RecoveryDeep, ACardThatNeedsFormattingComesBackWithItsTree)
{
    // Boot region, backup boot sector and both tables zeroed: no file
    // system is recognised, and a deep search rebuilds the layout from the
    // folders in the data, every file being listed, live or deleted.
    for (const Geometry g : {Geometry{32, 512, 1, 34000}, Geometry{16, 512, 4, 16000}, Geometry{12, 512, 1, 1440}}) {
        MtoolsImage card(g.sectorSize, g.sectorsPerCluster, g.sizeKiB, g.fatBits);
        std::map<std::string, std::vector<uint8_t>> files;
        card.Folder("DCIM");
        card.Folder("DCIM/100CANON");
        // More entries than one cluster holds, written between file data.
        for (uint32_t i = 0; i < 24; ++i) {
            const std::string path = "DCIM/100CANON/IMG_" + std::to_string(1000 + i) + ".JPG";
            files[path] = Content(1500 + 211 * i, i);
            card.Put(path, files[path]);
        }
        files["Notiz vom Montag.txt"] = Content(700, 99);
        card.Put("Notiz vom Montag.txt", files["Notiz vom Montag.txt"]);
        std::vector<uint8_t> boot = jextest::ReadFile(card.image);
        boot.resize(512);
        const uint32_t tableSectors = boot[22] | boot[23] << 8 ? (boot[22] | boot[23] << 8)
                                                               : (boot[36] | boot[37] << 8 | boot[38] << 16);
        card.Patch(0, std::vector<uint8_t>((static_cast<size_t>(boot[14] | boot[15] << 8) + boot[16] * tableSectors) * 512, 0));

        std::wstring reason;
        const std::wstring volume = ZelNarrowToWide(card.image);
        EXPECT_FALSE(BoundCore().GetFileSystemCreator()->CreateFileSystemEx(volume.c_str(), reason));
        EXPECT_NE(reason.find(L"holds no file system that could be recognised"), std::wstring::npos);
        jextest::ExportScan scan(card.image, {}, true);
        ASSERT_TRUE(scan.fs) << "FAT" << g.fatBits;
        EXPECT_NE(scan.report.notice.find(L"its layout was rebuilt from"), std::wstring::npos) << "FAT" << g.fatBits;
        EXPECT_EQ(scan.Files(), files.size()) << "FAT" << g.fatBits;
        size_t n = 0;
        for (const auto& file : files) {
            ASSERT_TRUE(scan.Has("card.img/" + file.first)) << "FAT" << g.fatBits << ": " << file.first;
            EXPECT_EQ(jextest::Restore(scan.File("card.img/" + file.first), card.dir.File("out" + std::to_string(n++))),
                      file.second)
                << file.first;
        }
    }
}

TEST(Fat32RecoveryFilters, CategoryListOnARealImage)
{
    MtoolsImage card(512, 1, 34000);
    card.Folder("Bilder");
    const char* names[] = {"Bilder/Katze.JPG", "Bilder/Hund.png", "Bilder/Skizze.heic", "Bilder/Roh.CR2",
                           "Bilder/Notiz.txt", "Bilder/klein.jpg", "Lied.mp3", "Brief.docx"};
    size_t sizes[] = {5000, 6000, 7000, 8000, 9000, 10, 11000, 12000};
    for (size_t i = 0; i < 8; ++i)
        card.Put(names[i], Content(sizes[i], static_cast<uint32_t>(i)));
    for (const char* name : names)
        card.Delete(name);
    // An image category of a size above 100 bytes.
    boost::shared_ptr<CZelCheckFileCreator> creatorObject = BoundCore().GetCreator()->CreateCheckFileCreator();
    ASSERT_TRUE(creatorObject);
    CZelCheckFileCreator& creator = *creatorObject;
    auto images = creator.CreateCheckFile(ZelCheckFileExtensions);
    for (const wchar_t* ext : {L"jpg", L"jpeg", L"png", L"gif", L"bmp", L"tif", L"tiff", L"heic", L"heif", L"webp",
                               L"cr2", L"cr3", L"nef", L"arw", L"dng", L"orf", L"rw2", L"raf"})
        images->SetParam(L"Add", ext);
    auto size = creator.CreateCheckFile(ZelCheckFileSizeRange);
    size->SetParam(L"Min", uint64_t(100));
    auto group = creator.CreateCheckFile(ZelCheckFileAnd);
    group->SetParam(L"Add", images);
    group->SetParam(L"Add", size);

    jextest::ExportScan pictures = card.Scan(group);
    EXPECT_EQ(pictures.order, (std::vector<std::string>{"card.img/Bilder", "card.img/Bilder/Katze.JPG",
                                                      "card.img/Bilder/Hund.png", "card.img/Bilder/Skizze.heic",
                                                      "card.img/Bilder/Roh.CR2"}));

    // A list given alone is used as a list.
    auto music = creator.CreateCheckFile(ZelCheckFileExtensions);
    music->SetParam(L"Add", L"mp3");
    jextest::ExportScan songs = card.Scan(music);
    EXPECT_EQ(songs.found.size(), 2u);
    EXPECT_TRUE(songs.Has("card.img/Lied.mp3"));
}

TEST(Fat32RecoveryFailures, AVolumeThatCannotBeScannedIsReported)
{
    jextest::TempDir dir;
    std::string ext4 = jextest::MakeExt4Image(dir, "linux.img", 4096);
    auto fs = BoundCore().GetFileSystemCreator()->CreateFAT32();
    std::wstring volume = ZelNarrowToWide(ext4);
    std::wstring missing = ZelNarrowToWide(dir.File("gone.img"));
    {
        jextest::ScopedMessageCapture capture;
        EXPECT_EQ(fs->Open(volume.c_str(), 0), ZEL_S_OK);
        EXPECT_EQ(fs->FindDeleted(volume.c_str(), 1, {}), ZEL_S_OK);
        auto messages = capture.Messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].caption, L"Trouble");
        EXPECT_EQ(messages[0].text, volume + L": no FAT boot sector (bytes per sector is 0)");
        EXPECT_TRUE(fs->GetIterator()->IsDone());
    }
    {
        jextest::ScopedMessageCapture capture;
        EXPECT_EQ(fs->Open(missing.c_str(), 0), ZEL_S_OK);
        EXPECT_EQ(fs->FindDeleted(missing.c_str(), 1, {}), ZEL_S_OK);
        auto messages = capture.Messages();
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, missing + L": No such file or directory");
    }
    {
        // FindDeletedEx tells its caller alone.
        jextest::ScopedMessageCapture capture;
        CZelScanReport report;
        EXPECT_EQ(fs->Open(volume.c_str(), 0), ZEL_S_OK);
        EXPECT_EQ(fs->FindDeletedEx(volume.c_str(), 1, {}, report), ZEL_E_ENGINE);
        EXPECT_EQ(report.reason, volume + L": no FAT boot sector (bytes per sector is 0)");
        EXPECT_EQ(fs->Open(missing.c_str(), 0), ZEL_S_OK);
        EXPECT_EQ(fs->FindDeletedEx(missing.c_str(), 1, {}, report), ZEL_E_ENGINE);
        EXPECT_EQ(report.reason, missing + L": No such file or directory");
        EXPECT_TRUE(capture.Messages().empty());
    }
}
