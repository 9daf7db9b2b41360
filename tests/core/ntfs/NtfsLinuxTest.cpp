// NTFS volumes as Linux leaves them: filled and emptied through libntfs-3g
// itself, which takes the name off a record with an attribute list when it
// deletes it, and named streams.
#include "jexcommon/ZelText.h"
#include "support/ExportCore.h"
#include "support/NtfsImageWriter.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>

using jextest::Content;
using jextest::NtfsImageWriter;

namespace {

// Appends a cluster to the file and one to the spacer, in turn, count
// times: the file's runs fill more than its record, and libntfs-3g gives it
// an attribute list (kept outside the record once it grows long enough).
std::vector<uint8_t> Fragment(NtfsImageWriter& disk, const std::string& path, const std::string& spacer, int count,
                              uint8_t seed)
{
    std::vector<uint8_t> data;
    disk.File(path, {});
    disk.File(spacer, {});
    const uint32_t cluster = disk.ClusterSize();
    for (int i = 0; i < count; ++i) {
        auto piece = Content(cluster, static_cast<uint8_t>(seed + i));
        // A table of numbers, as text: its kind can be told.
        for (size_t at = 0; at < piece.size(); ++at)
            piece[at] = static_cast<uint8_t>("0123456789;.\n"[(at * 7 + static_cast<size_t>(i)) % 13]);
        disk.WriteAt(path, data.size(), piece);
        disk.WriteAt(spacer, static_cast<uint64_t>(cluster) * static_cast<uint64_t>(i), Content(cluster, 7));
        data.insert(data.end(), piece.begin(), piece.end());
    }
    return data;
}

std::string Name(const char* format, int n)
{
    char name[160];
    std::snprintf(name, sizeof name, format, n);
    return name;
}

} // namespace

TEST(NtfsLinux, RecordsThatLostTheirNamesComeBackAndNothingLandsUnderAWrongFolder)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 32, 4096);
    // Path below the root -> content, for every file deleted.
    std::map<std::string, std::vector<uint8_t>> deleted;
    uint64_t fragmentRecord = 0, folderRecord = 0;
    {
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        deleted["Zerstückelt.bin"] = Fragment(disk, "/Zerstückelt.bin", "/spacer.bin", 3000, 11);
        fragmentRecord = disk.RecordOf("/Zerstückelt.bin");
        for (const char* folder : {"/Tief", "/Tief/Gross", "/Tief/Gross/Unter", "/Tief/Gross/Unter/Ganz"})
            disk.Folder(folder);
        folderRecord = disk.RecordOf("/Tief/Gross");
        const char* files[] = {"/Tief/t.txt", "/Tief/Gross/g.txt", "/Tief/Gross/Unter/u.txt",
                               "/Tief/Gross/Unter/Ganz/z1.txt", "/Tief/Gross/Unter/Ganz/z2.txt"};
        for (int i = 0; i < 5; ++i) {
            deleted[files[i] + 1] = Content(5000 + 1000 * i, static_cast<uint8_t>(40 + i));
            disk.File(files[i], deleted[files[i] + 1]);
        }
        // Named streams fill the folder's record: libntfs-3g moves them
        // to extension records, and the folder gets an attribute list.
        for (int i = 0; i < 12; ++i)
            disk.Stream("/Tief/Gross", Name("Notiz %d", i), Content(300, static_cast<uint8_t>(60 + i)));
        for (const char* file : files)
            disk.Delete(file);
        for (const char* folder : {"/Tief/Gross/Unter/Ganz", "/Tief/Gross/Unter", "/Tief/Gross", "/Tief"})
            disk.Delete(folder);
        disk.Delete("/Zerstückelt.bin");
    }

    jextest::ExportScan scan(image);
    ASSERT_TRUE(scan.fs);
    // Every file comes back byte for byte: at its own path, or, where a
    // folder above it lost its name, below "$OrphanFiles/Folder N" with
    // the path under that folder kept; a record without a name that no
    // index names is "Record N" with the extension its content tells.
    const std::string lost = "disk.img/$OrphanFiles/Folder " + std::to_string(folderRecord) + "/";
    const std::string nameless = "disk.img/$OrphanFiles/Record " + std::to_string(fragmentRecord) + ".txt";
    for (const auto& file : deleted) {
        std::vector<std::string> places = {"disk.img/" + file.first, nameless};
        if (file.first.rfind("Tief/Gross/", 0) == 0)
            places.push_back(lost + file.first.substr(std::strlen("Tief/Gross/")));
        std::string at;
        for (const std::string& place : places)
            if (scan.Has(place) && at.empty() && (place != nameless || file.first == "Zerstückelt.bin"))
                at = place;
        ASSERT_FALSE(at.empty()) << file.first;
        auto found = scan.File(at);
        EXPECT_EQ(found->GetSize(), file.second.size()) << at;
        EXPECT_EQ(jextest::Restore(found, dir.File("restored")), file.second) << at;
        std::filesystem::remove(dir.File("restored"));
    }
    // Nothing of the tree is listed at the root, nor anywhere else than
    // where it was or under "$OrphanFiles".
    for (const std::string& path : scan.order) {
        const std::string below = path.substr(std::strlen("disk.img/"));
        if (below.rfind("$OrphanFiles", 0) == 0)
            continue;
        const bool known = below == "Tief" || deleted.count(below) != 0 ||
                           below.rfind("Tief/Gross", 0) == 0 || below.rfind("Zerstückelt", 0) == 0;
        EXPECT_TRUE(known) << path;
    }
}

TEST(NtfsLinux, ANameLeftInItsFolderIndexNamesARecordThatLostItsOwn)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 32, 4096);
    std::vector<uint8_t> data;
    {
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.Folder("/Doku");
        // Removing an entry moves those after it up: the long name's
        // removal leaves a whole copy of the entry that followed it.
        disk.File("/Doku/Ein langer Name, der vor dem anderen im Ordner steht.txt", Content(100, 1));
        data = Fragment(disk, "/Doku/zz-Messreihe.bin", "/spacer.bin", 600, 3);
        disk.Delete("/Doku/Ein langer Name, der vor dem anderen im Ordner steht.txt");
        disk.Delete("/Doku/zz-Messreihe.bin");
    }
    jextest::ExportScan scan(image);
    ASSERT_TRUE(scan.fs);
    auto file = scan.File("disk.img/Doku/zz-Messreihe.bin");
    ASSERT_TRUE(file);
    EXPECT_NE(file->GetRecoveryNote().find("index"), std::string::npos) << file->GetRecoveryNote();
    EXPECT_EQ(jextest::Restore(file, dir.File("messreihe")), data);
}

TEST(NtfsLinux, NamedStreamsAreListedOnRequestAndComeBackOnTheirOwn)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 16, 4096);
    const auto zone = Content(26, 9), big = Content(20000, 10), folderStream = Content(300, 12);
    {
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.Folder("/Ablage");
        disk.File("/Ablage/Bericht.pdf", Content(9000, 8));
        disk.Stream("/Ablage/Bericht.pdf", "Zone.Identifier", zone);
        disk.Stream("/Ablage/Bericht.pdf", "Vorschau", big);
        disk.Stream("/Ablage", "Notiz", folderStream);
        disk.Delete("/Ablage/Bericht.pdf");
        disk.Delete("/Ablage");
    }
    jextest::ExportScan plain(image);
    EXPECT_TRUE(plain.Has("disk.img/Ablage/Bericht.pdf"));
    EXPECT_FALSE(plain.Has("disk.img/Ablage/Bericht.pdf:Zone.Identifier"));

    jextest::ExportScan scan(image, {}, false, kZelSearchStreams);
    EXPECT_EQ(jextest::Restore(scan.File("disk.img/Ablage/Bericht.pdf"), dir.File("pdf")), Content(9000, 8));
    const std::map<std::string, std::vector<uint8_t>> streams = {
        {"disk.img/Ablage/Bericht.pdf:Zone.Identifier", zone},
        {"disk.img/Ablage/Bericht.pdf:Vorschau", big},
        {"disk.img/Ablage:Notiz", folderStream},
    };
    int n = 0;
    for (const auto& stream : streams) {
        auto found = scan.File(stream.first);
        ASSERT_TRUE(found) << stream.first;
        EXPECT_EQ(found->GetSize(), stream.second.size());
        EXPECT_EQ(found->GetRecoveryEstimate(), 100) << stream.first;
        EXPECT_EQ(jextest::Restore(found, dir.File("stream" + std::to_string(n++))), stream.second) << stream.first;
    }
}
