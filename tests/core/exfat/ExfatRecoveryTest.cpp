// exFAT images made by mkfs.exfat and filled and emptied through exfat-fuse,
// searched through the core as programs load it: what comes back, byte for
// byte, with its name, path and time, and what is said of what does not.
#include "support/ExfatImage.h"
#include "support/ExportCore.h"
#include "jexcommon/ZelText.h"

#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>
#include <sys/statvfs.h>

using jextest::Content;
using jextest::ExfatMount;

namespace {

// A card made and mounted; the test is skipped, with the reason, where
// exfat-fuse cannot mount it here.
#define MOUNT_OR_SKIP(mount, image)                                                                                   \
    do {                                                                                                               \
        std::string reason_;                                                                                           \
        if (!(mount).Mount((image), reason_))                                                                          \
            GTEST_SKIP() << reason_;                                                                                   \
    } while (0)

std::vector<uint8_t> RestoreAs(const boost::shared_ptr<CZelFSFile>& file, const std::string& out, ZELRESULT expected,
                               CZelRestoreReport& report)
{
    EXPECT_TRUE(file);
    if (!file)
        return {};
    EXPECT_EQ(file->RestoreEx(out.c_str(), {}, report), expected) << ZelWideToNarrow(report.reason);
    return jextest::ReadFile(out);
}

// Makes a folder of files on the card through exfat-fuse and deletes it
// whole. Empty, or why exfat-fuse cannot mount the card here.
std::string FillAndDeleteFolder(const std::string& image, const std::string& folder,
                                const std::map<std::string, std::vector<uint8_t>>& files)
{
    ExfatMount card;
    std::string reason;
    if (!card.Mount(image, reason))
        return reason;
    card.MakeFolder(folder);
    for (const auto& f : files)
        card.Write(folder + "/" + f.first, f.second);
    card.Remove(folder);
    EXPECT_TRUE(card.Unmount());
    return std::string();
}

} // namespace

TEST(ExfatRecovery, DeletedFilesAndTreesComeBackByteForByteWithNamesPathsAndTimes)
{
    jextest::TempDir dir;
    const std::string image = jextest::MakeExfatImage(dir, "card.img", 64);
    ExfatMount card;
    MOUNT_OR_SKIP(card, image);
    std::map<std::string, std::vector<uint8_t>> deleted = {
        {"photo1.jpg", Content(100000, 1)},
        {"note.txt", Content(3000, 2)},
        {"Ein ziemlich langer Name mit Umlauten \xC3\xA4\xC3\xB6\xC3\xBC und mehr als f\xC3\xBCnfzehn Zeichen, "
         "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xF0\x9F\x98\x80.txt",
         Content(5000, 3)},
        {"DCIM/100CANON/IMG_0001.JPG", Content(300000, 4)},
        {"Trip/b.txt", Content(10, 5)},
        {"Trip/Day 1/clip.mp4", Content(500000, 6)},
        {"Trip/Day 1/empty.txt", {}},
    };
    card.MakeFolder("DCIM/100CANON");
    card.MakeFolder("Trip/Day 1");
    for (const auto& f : deleted)
        card.Write(f.first, f.second);
    card.Write("DCIM/100CANON/IMG_0002.JPG", Content(20000, 7));
    card.Write("keep.txt", Content(777, 8));
    ASSERT_EQ(jextest::Run("touch -d '2019-06-30 21:15:42' " + jextest::Quote(card.File("note.txt"))), 0);
    struct stat noteTime {};
    ASSERT_EQ(stat(card.File("note.txt").c_str(), &noteTime), 0);
    for (const auto& f : deleted)
        if (f.first.rfind("Trip/", 0) != 0)
            card.Remove(f.first);
    card.Remove("Trip");
    ASSERT_TRUE(card.Unmount());

    jextest::ExportScan scan(image);
    EXPECT_EQ(scan.fs->GetName(), L"exFAT");
    EXPECT_EQ(scan.Files(), deleted.size());
    int n = 0;
    for (const auto& f : deleted) {
        auto found = scan.File("card.img/" + f.first);
        ASSERT_TRUE(found) << f.first;
        EXPECT_TRUE(found->IsDeleted());
        EXPECT_EQ(found->GetSize(), f.second.size());
        EXPECT_EQ(found->GetRecoveryEstimate(), 100) << f.first;
        const std::string out = dir.File("restored" + std::to_string(n++));
        CZelRestoreReport report;
        EXPECT_EQ(RestoreAs(found, out, ZEL_S_OK, report), f.second) << f.first;
        EXPECT_EQ(report.verdict, ZelRestored);
        if (f.first == "note.txt") {
            struct stat restored {};
            ASSERT_EQ(stat(out.c_str(), &restored), 0);
            EXPECT_EQ(restored.st_mtime, noteTime.st_mtime);
        }
    }
    // Live folders are listed for their paths; the deleted ones are marked.
    ASSERT_TRUE(scan.Has("card.img/DCIM/100CANON"));
    EXPECT_FALSE(scan.found["card.img/DCIM/100CANON"]->IsDeleted());
    ASSERT_TRUE(scan.Has("card.img/Trip/Day 1"));
    EXPECT_TRUE(scan.found["card.img/Trip/Day 1"]->IsDeleted());
    EXPECT_FALSE(scan.Has("card.img/keep.txt"));
    EXPECT_FALSE(scan.Has("card.img/DCIM/100CANON/IMG_0002.JPG"));
    EXPECT_DOUBLE_EQ(scan.progress, 1.0);
}

TEST(ExfatRecovery, AFragmentedFileFollowsItsChainAndAClearedChainIsAGuessThatSaysSo)
{
    jextest::TempDir dir;
    const std::string image = jextest::MakeExfatImage(dir, "card.img", 32, 4096);
    const std::vector<uint8_t> fragmented = Content(12 * 4096 - 100, 21);
    std::vector<uint8_t> table;
    {
        ExfatMount card;
        MOUNT_OR_SKIP(card, image);
        card.Write("a.bin", Content(5 * 4096, 22));
        card.Write("hole.bin", Content(5 * 4096, 23));
        card.Write("c.bin", Content(3 * 4096, 24));
        card.Remove("hole.bin");
        // It fills the hole and goes on after c.bin: a chain in the table.
        card.Write("frag.bin", fragmented);
        ASSERT_TRUE(card.Unmount());
        table = jextest::ExfatImageEditor(image).Table();
        std::string reason;
        ASSERT_TRUE(card.Mount(image, reason)) << reason;
        card.Remove("frag.bin");
        ASSERT_TRUE(card.Unmount());
    }
    CZelRestoreReport report;
    {
        // exfat-fuse clears the chain of a file it deletes.
        jextest::ExportScan scan(image);
        auto frag = scan.File("card.img/frag.bin");
        ASSERT_TRUE(frag);
        EXPECT_EQ(frag->GetRecoveryEstimate(), 99);
        EXPECT_EQ(RestoreAs(frag, dir.File("guessed"), ZEL_S_PARTIAL, report), fragmented)
            << "the free clusters that follow are the file's here, c.bin being still there";
        EXPECT_NE(ZelWideToNarrow(report.reason).find("its cluster chain was cleared when it was deleted"),
                  std::string::npos);
    }
    // Other drivers leave the chain: put it back as it was.
    jextest::ExfatImageEditor(image).SetTable(table);
    jextest::ExportScan scan(image);
    auto frag = scan.File("card.img/frag.bin");
    ASSERT_TRUE(frag);
    EXPECT_EQ(frag->GetRecoveryEstimate(), 100);
    EXPECT_EQ(RestoreAs(frag, dir.File("chained"), ZEL_S_OK, report), fragmented);
    EXPECT_EQ(report.verdict, ZelRestored);
}

TEST(ExfatRecovery, AFileWhoseClustersWereWrittenOverIsNeverCalledRestored)
{
    jextest::TempDir dir;
    const std::string image = jextest::MakeExfatImage(dir, "card.img", 8, 4096);
    const std::vector<uint8_t> victim = Content(1 << 20, 31);
    {
        ExfatMount card;
        MOUNT_OR_SKIP(card, image);
        card.Write("victim.bin", victim);
        card.Write("after.txt", Content(10, 33));
        card.Remove("victim.bin");
        // A file that needs nearly all the free space must take its clusters.
        struct statvfs fs {};
        ASSERT_EQ(statvfs(card.Path().c_str(), &fs), 0);
        // Its name needs more entries than the victim's set left free, so
        // the set is not written over.
        card.Write("a much longer name than the victim had.bin", Content(static_cast<size_t>(fs.f_bavail * fs.f_frsize) - 16 * 4096, 32));
        ASSERT_TRUE(card.Unmount());
    }
    jextest::ExportScan scan(image);
    auto found = scan.File("card.img/victim.bin");
    ASSERT_TRUE(found);
    EXPECT_LT(found->GetRecoveryEstimate(), 100);
    CZelRestoreReport report;
    const std::string out = dir.File("victim");
    ZELRESULT result = found->RestoreEx(out.c_str(), {}, report);
    EXPECT_NE(result, ZEL_S_OK);
    EXPECT_NE(report.verdict, ZelRestored);
    EXPECT_FALSE(report.reason.empty());
    EXPECT_NE(jextest::ReadFile(out), victim);
}

TEST(ExfatRecovery, AFolderOfManyFilesComesBackWholeThoughItsChainWasCleared)
{
    jextest::TempDir dir;
    const std::string image = jextest::MakeExfatImage(dir, "card.img", 32, 4096);
    // 150 sets of three entries take four clusters of 128 entries; the
    // files written between them scatter the folder's clusters.
    std::map<std::string, std::vector<uint8_t>> files;
    for (int i = 0; i < 150; ++i)
        files["Bild " + std::to_string(1000 + i) + ".jpg"] = Content(3000 + 97 * i, 60 + i);
    const std::string skip = FillAndDeleteFolder(image, "Album", files);
    if (!skip.empty())
        GTEST_SKIP() << skip;
    jextest::ExportScan scan(image, {}, true);
    EXPECT_EQ(scan.Files(), files.size());
    // The second and third clusters begin inside a set the cluster before
    // ends with: they are the folder's. The fourth begins with a set of its
    // own (3 x 128 entries), and nothing tells whose it was.
    size_t atPath = 0;
    int n = 0;
    for (const auto& f : files) {
        const bool orphan = f.first >= "Bild 1128.jpg";
        const std::string path = orphan ? "card.img/$OrphanFiles/" + f.first : "card.img/Album/" + f.first;
        auto found = scan.File(path);
        ASSERT_TRUE(found) << path;
        CZelRestoreReport report;
        EXPECT_EQ(RestoreAs(found, dir.File("r" + std::to_string(n++)), ZEL_S_OK, report), f.second) << path;
        atPath += orphan ? 0 : 1;
    }
    EXPECT_EQ(atPath, 128u);
}

TEST(ExfatRecovery, FoldersOfNamesBeyondLatin1AreProvenByTheVolumesCapitals)
{
    jextest::TempDir dir;
    const std::string image = jextest::MakeExfatImage(dir, "card.img", 32, 4096);
    // Cyrillic and Greek names: their hashes are taken over capitals only
    // the volume's up-case table gives. 120 sets of three entries: no
    // cluster of the folder begins at a set.
    std::map<std::string, std::vector<uint8_t>> files;
    for (int i = 0; i < 120; ++i)
        files["\xD1\x84\xD0\xBE\xD1\x82\xD0\xBE \xCE\xB1 " + std::to_string(1000 + i) + ".jpg"] = Content(2000 + 31 * i, 300 + i);
    const std::string skip = FillAndDeleteFolder(image, "\xD0\xB0\xD0\xBB\xD1\x8C\xD0\xB1\xD0\xBE\xD0\xBC", files);
    if (!skip.empty())
        GTEST_SKIP() << skip;
    jextest::ExportScan scan(image, {}, true);
    EXPECT_EQ(scan.Files(), files.size());
    int n = 0;
    for (const auto& f : files) {
        auto found = scan.File("card.img/\xD0\xB0\xD0\xBB\xD1\x8C\xD0\xB1\xD0\xBE\xD0\xBC/" + f.first);
        ASSERT_TRUE(found) << f.first;
        CZelRestoreReport report;
        EXPECT_EQ(RestoreAs(found, dir.File("r" + std::to_string(n++)), ZEL_S_OK, report), f.second);
    }
}
