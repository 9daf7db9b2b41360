// What comes back from FAT32 images that look like real cards: files that
// fragmented around live files, folders whose clusters scattered between
// file data, starts whose high word was cleared, data that looks almost like
// directory entries. Each test counts the deleted originals that come back
// byte for byte and checks that nothing wrong is called whole.
#include "support/ExportCore.h"
#include "support/MtoolsImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <algorithm>
#include <map>
#include <set>

using jextest::Content;
using jextest::MtoolsImage;

namespace {

// 512-byte clusters: small files fragment and folders grow a cluster per
// sixteen entries. 40,000 KiB hold about 78,000 clusters.
constexpr uint32_t kCardKiB = 40000;

// Restores every found file: how many distinct originals came back byte for
// byte and were called restored. A file called restored must be one of the
// originals (a name can be lost when a long name's pieces and its short entry
// lie in clusters that scattered apart; the data cannot).
size_t Whole(const jextest::ExportScan& scan, const std::vector<std::vector<uint8_t>>& originals,
             const jextest::TempDir& dir, uint64_t* written = nullptr)
{
    std::set<size_t> matched;
    int n = 0;
    for (const auto& entry : scan.found) {
        auto file = boost::dynamic_pointer_cast<CZelFSFile>(entry.second);
        if (!file)
            continue;
        std::string out = dir.File("restored" + std::to_string(n++));
        CZelRestoreReport report;
        ZELRESULT result = file->RestoreEx(out.c_str(), {}, report);
        std::vector<uint8_t> bytes = jextest::ReadFile(out);
        if (written != nullptr)
            *written += bytes.size();
        auto original = std::find(originals.begin(), originals.end(), bytes);
        if (result != ZEL_S_OK)
            continue;
        EXPECT_EQ(file->GetRecoveryEstimate(), 100) << entry.first;
        EXPECT_TRUE(original != originals.end()) << entry.first << " was called restored but is no original";
        if (original != originals.end())
            matched.insert(static_cast<size_t>(original - originals.begin()));
    }
    return matched.size();
}

} // namespace

TEST(Fat32Fidelity, AFileFragmentedAroundLiveFilesComesBackWithoutTheirData)
{
    MtoolsImage card(512, 1, kCardKiB);
    const uint64_t cluster = card.ClusterSize();
    // Holes of two clusters between live files; the entries of the files
    // that left them are taken by empty files, so nothing else claims them.
    for (int i = 1; i <= 6; ++i) {
        card.Put("X" + std::to_string(i), Content(2 * cluster, i));
        card.Put("L" + std::to_string(i) + ".TXT", Content(100, 50 + i));
    }
    for (int i = 1; i <= 6; ++i)
        card.Delete("X" + std::to_string(i));
    for (int i = 1; i <= 6; ++i)
        card.Put("Z" + std::to_string(i), {});
    card.ForgetNextFree();
    const std::vector<uint8_t> fragmented = Content(12 * cluster - 7, 99);
    card.Put("Frag.bin", fragmented);
    // It lies in the holes: the first live file follows its first piece.
    const uint32_t first = card.FirstCluster(2, "FRAG    BIN");
    ASSERT_NE(first, 0u);
    EXPECT_EQ(card.FirstCluster(2, "L1      TXT"), first + 2);
    card.Delete("Frag.bin");

    jextest::ExportScan scan = card.Scan();
    auto frag = scan.File("card.img/Frag.bin");
    ASSERT_TRUE(frag);
    EXPECT_EQ(frag->GetRecoveryEstimate(), 100);
    EXPECT_EQ(jextest::Restore(frag, card.dir.File("frag.out")), fragmented);
    EXPECT_EQ(Whole(scan, {fragmented}, card.dir), 1u);
}

TEST(Fat32Fidelity, AFileWhoseStartANewerFileTookIsNotCalledRestored)
{
    MtoolsImage card(512, 1, kCardKiB);
    const uint64_t cluster = card.ClusterSize();
    // The newer file's entry goes elsewhere, so the old entry stays.
    card.Folder("Other");
    card.Put("Old.bin", Content(6 * cluster, 7));
    card.Delete("Old.bin");
    card.ForgetNextFree();
    card.Put("Other/New.bin", Content(2 * cluster, 8));

    jextest::ExportScan scan = card.Scan();
    auto taken = scan.File("card.img/Old.bin");
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->GetRecoveryEstimate(), 0);
    CZelRestoreReport report;
    EXPECT_EQ(taken->RestoreEx(card.dir.File("old.out").c_str(), {}, report), ZEL_S_PARTIAL);
    EXPECT_EQ(report.verdict, ZelRestoredPartly);
    EXPECT_NE(report.reason.find(L"belongs to another file"), std::wstring::npos);
    EXPECT_EQ(Whole(scan, {}, card.dir), 0u);
}

TEST(Fat32Fidelity, AFolderWhoseClustersScatteredBetweenFileDataIsFoundWhole)
{
    MtoolsImage card(512, 1, kCardKiB);
    const uint64_t cluster = card.ClusterSize();
    std::map<std::string, std::vector<uint8_t>> files;
    card.Folder("Album");
    uint32_t seed = 1;
    // Each round fills about a cluster of the folder's entries, then a live
    // file takes the clusters after them, so the folder's next cluster lies
    // beyond it.
    for (int round = 0; round < 6; ++round) {
        for (int j = 0; j < 5; ++j) {
            std::string name = "Bild " + std::to_string(round) + "-" + std::to_string(j) + ".jpg";
            files["Album/" + name] = Content(700 + 97 * seed, seed);
            card.Put("Album/" + name, files["Album/" + name]);
            ++seed;
        }
        if (round == 3) {
            card.Folder("Album/Sub");
            files["Album/Sub/Innen.txt"] = Content(300, 77);
            card.Put("Album/Sub/Innen.txt", files["Album/Sub/Innen.txt"]);
        }
        card.Put("DATA" + std::to_string(round) + ".BIN", Content(3 * cluster, 100 + round));
    }
    card.DeleteTree("Album");

    // A quick search reads the tables and the folders the volume links to,
    // not the free clusters: it finds the files of the folder's first
    // cluster alone. A deep one reads each byte at most once.
    jextest::ExportScan quick = card.Scan();
    jextest::ExportScan scan = card.Scan({}, true);
    EXPECT_GT(quick.Files(), 0u);
    EXPECT_LT(quick.Files(), files.size());
    const uint64_t volume = kCardKiB * 1024ull;
    EXPECT_LT(quick.report.bytesRead, volume / 8);
    EXPECT_GT(scan.report.bytesRead, volume / 2);
    EXPECT_LE(scan.report.bytesRead, volume + volume / 20);
    // The window asks the same while a search runs.
    uint64_t read = 0, volumeBytes = 0;
    scan.fs->GetReadProgress(read, volumeBytes);
    EXPECT_EQ(read, scan.report.bytesRead);
    EXPECT_EQ(volumeBytes, volume);
    // Every file is found, in its folder where the volume proves it and
    // among the orphans otherwise.
    size_t listed = 0, orphans = 0;
    for (const auto& entry : scan.found) {
        if (entry.second->GetType() != ZelEntryFile)
            continue;
        ++listed;
        orphans += entry.first.rfind("card.img/$OrphanFiles/", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(listed, files.size());
    for (const auto& file : files)
        EXPECT_TRUE(scan.Has("card.img/" + file.first)) << file.first;
    EXPECT_EQ(orphans, 0u);
    // The first cluster's files are placed by the folder's entry; the later
    // clusters' by where they lie, which their notes say.
    auto guessed = [&](const std::string& path) {
        auto file = boost::dynamic_pointer_cast<CZelFSFile>(scan.found["card.img/" + path]);
        return file && file->GetRecoveryNote().find("its folder is a guess") != std::string::npos;
    };
    EXPECT_FALSE(guessed("Album/Bild 0-0.jpg"));
    EXPECT_TRUE(guessed("Album/Bild 5-4.jpg"));
    std::vector<std::vector<uint8_t>> originals;
    for (const auto& file : files)
        originals.push_back(file.second);
    EXPECT_EQ(Whole(scan, originals, card.dir), files.size());
}

TEST(Fat32Fidelity, FoldersThatGrewInTurnsAreNeverJoinedToTheWrongOne)
{
    // Three folders get a file each in turn: each one's later clusters lie
    // after the others' files, where nothing tells whose they are.
    MtoolsImage card(512, 1, 16000, 16);
    std::vector<std::string> paths;
    const char* folders[] = {"Ordner A", "Ordner B", "Ordner C"};
    for (const char* folder : folders)
        card.Folder(folder);
    for (int i = 0; i < 12; ++i)
        for (const char* folder : folders) {
            paths.push_back(std::string(folder) + "/Foto " + folder + " am Meer " + std::to_string(i) + ".jpg");
            card.Put(paths.back(), Content(600, static_cast<uint32_t>(paths.size())));
        }
    for (const char* folder : folders)
        card.DeleteTree(folder);
    jextest::ExportScan scan = card.Scan({}, true);
    // Each name is used once: a file listed in a folder it was never in
    // has a path no file had. (Orphans whose long name was cut may share an
    // 8.3 name: they are counted in the scan's order.)
    size_t own = 0, orphans = 0;
    for (const std::string& found : scan.order) {
        const std::string path = found.substr(std::strlen("card.img/"));
        if (path.rfind("$OrphanFiles/", 0) == 0)
            orphans += path.size() > std::strlen("$OrphanFiles/") ? 1 : 0;
        else if (std::find(paths.begin(), paths.end(), path) != paths.end())
            ++own;
        else if (path.find('/') != std::string::npos)
            ADD_FAILURE() << path << " is no path a file had";
    }
    EXPECT_EQ(own + orphans, paths.size());
    EXPECT_GT(orphans, 0u);
}

TEST(Fat32Fidelity, AStartWhoseHighWordWasClearedIsFoundWhereTheFileFits)
{
    MtoolsImage card(512, 1, kCardKiB);
    const uint64_t cluster = card.ClusterSize();
    // A live file fills the first 65,536 clusters and more.
    card.Put("BIG.BIN", Content(34 << 20, 1));
    const std::vector<uint8_t> high = Content(20 * cluster - 3, 2);
    card.Put("HIGH.BIN", high);
    const uint32_t start = card.FirstCluster(2, "HIGH    BIN");
    ASSERT_GT(start, 0xFFFFu);
    card.Delete("HIGH.BIN");
    // Cleared on deletion, as some systems do.
    uint64_t entry = card.FindShortEntry(2, "IGH    BIN");
    ASSERT_NE(entry, 0u);
    card.Patch(entry + 20, {0, 0});

    jextest::ExportScan scan = card.Scan();
    auto file = scan.File("card.img/_IGH.BIN");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->GetRecoveryEstimate(), 100);
    EXPECT_EQ(jextest::Restore(file, card.dir.File("high.out")), high);
}

TEST(Fat32Fidelity, AStartThatFitsInTwoPlacesIsCalledUncertain)
{
    // About 200,000 clusters: a low word has two places above it.
    MtoolsImage card(512, 1, 100000);
    const uint64_t cluster = card.ClusterSize();
    card.Put("BIG.BIN", Content(34 << 20, 1));
    card.Put("HIGH.BIN", Content(8 * cluster, 2));
    const uint32_t start = card.FirstCluster(2, "HIGH    BIN");
    // A live file up to 65,536 clusters after it, then a deleted file of
    // the same length there.
    card.Put("FILL.BIN", Content((0x10000 - 8) * cluster, 3));
    card.Put("TWIN.BIN", Content(8 * cluster, 4));
    ASSERT_EQ(card.FirstCluster(2, "TWIN    BIN"), start + 0x10000);
    card.Delete("TWIN.BIN");
    card.Delete("HIGH.BIN");
    uint64_t entry = card.FindShortEntry(2, "IGH    BIN");
    ASSERT_NE(entry, 0u);
    card.Patch(entry + 20, {0, 0});

    jextest::ExportScan scan = card.Scan();
    auto file = scan.File("card.img/_IGH.BIN");
    ASSERT_TRUE(file);
    EXPECT_LE(file->GetRecoveryEstimate(), 50);
    CZelRestoreReport report;
    EXPECT_EQ(file->RestoreEx(card.dir.File("high.out").c_str(), {}, report), ZEL_S_PARTIAL);
    EXPECT_NE(report.reason.find(L"uncertain"), std::wstring::npos);
}

TEST(Fat32Fidelity, DataThatLooksAlmostLikeEntriesIsNeverListed)
{
    MtoolsImage card(512, 1, kCardKiB);
    const uint64_t cluster = card.ClusterSize();
    card.Folder("Notes");
    // Right after the folder's first cluster: clusters of entries that are
    // all a file system could write but one.
    std::vector<uint8_t> lookalike;
    for (int c = 0; c < 4; ++c)
        for (int i = 0; i < 16; ++i) {
            uint8_t e[32] = {};
            std::memcpy(e, "GHOST   TXT", 11);
            e[7] = static_cast<uint8_t>('A' + i);
            e[11] = 0x20;
            uint16_t date = (46 << 9) | (12 << 5) | 7; // 2026-12-07
            e[24] = date & 0xFF;
            e[25] = static_cast<uint8_t>(date >> 8);
            e[26] = 100;
            e[28] = 0xE8; // 1000 bytes
            e[29] = 0x03;
            if (i == 9) {
                if (c == 0) {
                    date = (46 << 9) | (13 << 5) | 7; // a thirteenth month
                    e[24] = date & 0xFF;
                    e[25] = static_cast<uint8_t>(date >> 8);
                }
                if (c == 1)
                    e[20] = 0xFF; // a cluster past the volume
                if (c == 2)
                    e[1] = 'h';   // lower case
                if (c == 3)
                    std::memcpy(e, "\xFF\xD8\xFF\xE1MMEx.if", 11);
            }
            lookalike.insert(lookalike.end(), e, e + 32);
        }
    ASSERT_EQ(lookalike.size(), 4 * cluster);
    card.Put("Look.bin", lookalike);
    const std::vector<uint8_t> alpha = Content(900, 1), beta = Content(1500, 2);
    card.Put("Notes/Alpha.txt", alpha);
    card.Put("Notes/Beta.txt", beta);
    card.DeleteTree("Notes");
    card.Delete("Look.bin");

    jextest::ExportScan scan = card.Scan();
    std::set<std::string> listed;
    for (const auto& entry : scan.found)
        if (entry.second->GetType() == ZelEntryFile)
            listed.insert(entry.first);
    EXPECT_EQ(listed,
              (std::set<std::string>{"card.img/Notes/Alpha.txt", "card.img/Notes/Beta.txt", "card.img/Look.bin"}));
    uint64_t written = 0;
    EXPECT_EQ(Whole(scan, {alpha, beta, lookalike}, card.dir, &written), 3u);
    EXPECT_EQ(written, 900u + 1500u + lookalike.size());
}
