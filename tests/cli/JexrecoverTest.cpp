// jexrecover end to end: the built program on images made here.
#include "JexrecoverRunner.h"
#include "support/ExfatImage.h"
#include "support/FatImageBuilder.h"
#include "support/MediaFiles.h"
#include "support/NtfsImageWriter.h"
#include "support/TestImages.h"
#include "support/WholeDisk.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <sys/mount.h>
#include <unistd.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>

using jextest::Outcome;
using jextest::Quote;
using Json = nlohmann::json;

namespace {

class Jexrecover : public jextest::JexrecoverRunner {
protected:
    // A FAT32 image with deleted files in folders, made with mtools.
    std::string Card()
    {
        std::string image = jextest::MakeFatImage(dir, "card.img", 32, 34000);
        jextest::WriteFile(dir.File("a.jpg"), std::vector<uint8_t>(3000, 'j'));
        jextest::WriteFile(dir.File("b.txt"), std::vector<uint8_t>(100, 't'));
        jextest::WriteFile(dir.File("c.mp3"), std::vector<uint8_t>(5000, 'm'));
        std::string mtools = "MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8 ";
        std::string i = " -i " + Quote(image) + " ";
        EXPECT_EQ(jextest::Run(mtools + "mmd" + i + "::/Fotos"), 0);
        EXPECT_EQ(jextest::Run(mtools + "mcopy" + i + Quote(dir.File("a.jpg")) + " ::/Fotos/Strand.jpg"), 0);
        EXPECT_EQ(jextest::Run(mtools + "mcopy" + i + Quote(dir.File("b.txt")) + " ::/Notiz.txt"), 0);
        EXPECT_EQ(jextest::Run(mtools + "mcopy" + i + Quote(dir.File("c.mp3")) + " ::/Lied.mp3"), 0);
        EXPECT_EQ(jextest::Run(mtools + "mdel" + i + "::/Fotos/Strand.jpg ::/Notiz.txt ::/Lied.mp3"), 0);
        return image;
    }

};

} // namespace

TEST_F(Jexrecover, ScanListsFilesAndJsonHasEveryEntry)
{
    std::string image = Card();
    Outcome scan = Run("scan " + Quote(image));
    ASSERT_EQ(scan.exit, 0) << scan.err;
    EXPECT_NE(scan.out.find("card.img/Fotos/Strand.jpg"), std::string::npos) << scan.out;
    // Each file's recovery estimate stands before its path.
    EXPECT_NE(scan.out.find("  100%  card.img/Fotos/Strand.jpg\n"), std::string::npos) << scan.out;
    EXPECT_NE(scan.out.find("card.img/Lied.mp3"), std::string::npos);
    EXPECT_EQ(scan.out.find("card.img/Fotos\n"), std::string::npos) << "folders are not listed";

    // The index printed is the one restore takes: files count from 1.
    EXPECT_EQ(scan.out.substr(0, 7), "     1 ") << scan.out;
    EXPECT_NE(scan.err.find("3 deleted files found on " + image), std::string::npos) << scan.err;

    Outcome json = Run("scan " + Quote(image) + " --json");
    ASSERT_EQ(json.exit, 0) << json.err;
    Json document = Json::parse(json.out);
    EXPECT_EQ(document["volume"], image);
    const Json& entries = document["entries"];
    ASSERT_EQ(entries.size(), 4u) << json.out;
    EXPECT_EQ(entries[0], Json::parse(R"({"index": null, "type": "directory", "name": "Fotos",
        "path": "card.img/Fotos", "size": 0, "deleted": false, "chance": null})"));
    EXPECT_EQ(entries[1], Json::parse(R"({"index": 1, "type": "file", "name": "Strand.jpg",
        "path": "card.img/Fotos/Strand.jpg", "size": 3000, "deleted": true, "chance": 100})"));
    // A quick search reads the tables and the folders, a small part of the
    // volume; a deep one reads the free clusters too.
    Json summary = document["summary"];
    const uint64_t quickBytes = summary["bytesRead"].get<uint64_t>();
    summary.erase("bytesRead");
    EXPECT_EQ(summary, Json::parse(R"({"found": 3, "folders": 1, "listed": 3, "restored": 0, "partial": 0,
        "failed": 0, "skipped": 0, "unreadable": 0, "unreadableBytes": 0, "deep": false, "stopped": false})"));
    Outcome deep = Run("scan " + Quote(image) + " --deep --json");
    ASSERT_EQ(deep.exit, 0) << deep.err;
    const Json deepSummary = Json::parse(deep.out)["summary"];
    EXPECT_EQ(deepSummary["deep"], true);
    EXPECT_EQ(deepSummary["found"], 3);
    const uint64_t imageBytes = std::filesystem::file_size(image);
    EXPECT_GT(quickBytes, 0u);
    EXPECT_LT(quickBytes, imageBytes / 4);
    EXPECT_GT(deepSummary["bytesRead"].get<uint64_t>(), imageBytes / 2);
    EXPECT_LE(deepSummary["bytesRead"].get<uint64_t>(), imageBytes + imageBytes / 20);

    Outcome volumes = Run("volumes --json");
    EXPECT_EQ(volumes.exit, 0) << volumes.err;
    EXPECT_TRUE(Json::parse(volumes.out)["volumes"].is_array()) << volumes.out;
}

TEST_F(Jexrecover, SortAndMatchOrderAndNarrowTheListingButKeepIndexes)
{
    std::string image = Card();
    // The scan's order, its indexes, then the same files sorted.
    auto indexOf = [](const std::string& listing, const std::string& name) {
        size_t at = listing.find(name);
        size_t start = listing.rfind('\n', at);
        start = start == std::string::npos ? 0 : start + 1;
        return std::stoul(listing.substr(start, 6));
    };
    Outcome plain = Run("scan " + Quote(image));
    ASSERT_EQ(plain.exit, 0) << plain.err;
    const std::vector<std::string> files = {"Lied.mp3", "Notiz.txt", "Strand.jpg"};
    auto lines = [&files](const Outcome& o) {
        std::vector<std::string> names = files;
        std::sort(names.begin(), names.end(),
                  [&o](const std::string& a, const std::string& b) { return o.out.find(a) < o.out.find(b); });
        return names;
    };
    Outcome byName = Run("scan " + Quote(image) + " --sort name");
    EXPECT_EQ(lines(byName), (std::vector<std::string>{"Lied.mp3", "Notiz.txt", "Strand.jpg"})) << byName.out;
    Outcome bySize = Run("scan " + Quote(image) + " --sort size");
    EXPECT_EQ(lines(bySize), (std::vector<std::string>{"Lied.mp3", "Strand.jpg", "Notiz.txt"})) << bySize.out;
    Outcome byPath = Run("scan " + Quote(image) + " --sort path");
    EXPECT_EQ(lines(byPath), (std::vector<std::string>{"Strand.jpg", "Lied.mp3", "Notiz.txt"})) << byPath.out;
    for (const std::string& name : files) {
        EXPECT_EQ(indexOf(byName.out, name), indexOf(plain.out, name)) << name;
        EXPECT_EQ(indexOf(bySize.out, name), indexOf(plain.out, name)) << name;
    }

    // A pattern without "/" is matched against the name, in either case;
    // with one, against the path as listed or inside the volume.
    Outcome jpg = Run("scan " + Quote(image) + " --match '*.JPG' --json");
    Json matched = Json::parse(jpg.out);
    ASSERT_EQ(matched["entries"].size(), 1u) << jpg.out;
    EXPECT_EQ(matched["entries"][0]["index"], indexOf(plain.out, "Strand.jpg"));
    EXPECT_EQ(matched["summary"]["found"], 3);
    EXPECT_EQ(matched["summary"]["listed"], 1);
    Outcome inside = Run("scan " + Quote(image) + " --match 'fotos/*' --match 'N*'");
    EXPECT_NE(inside.out.find("Strand.jpg"), std::string::npos) << inside.out;
    EXPECT_NE(inside.out.find("Notiz.txt"), std::string::npos) << inside.out;
    EXPECT_EQ(inside.out.find("Lied.mp3"), std::string::npos) << inside.out;
    EXPECT_NE(inside.err.find("3 deleted files found on " + image + ", 2 of them listed"), std::string::npos)
        << inside.err;

    // restore takes the same patterns: with --all the files that match, and
    // an index named outright that does not match is told.
    std::string out = dir.File("out");
    Outcome some = Run("restore " + Quote(image) + " --to " + Quote(out) + " --all --match '*.mp3' --json");
    ASSERT_EQ(some.exit, 0) << some.err;
    Json restored = Json::parse(some.out);
    ASSERT_EQ(restored["files"].size(), 1u) << some.out;
    EXPECT_EQ(restored["files"][0]["index"], indexOf(plain.out, "Lied.mp3"));
    EXPECT_EQ(restored["summary"]["restored"], 1);
    EXPECT_TRUE(std::filesystem::exists(out + "/Lied.mp3"));
    EXPECT_FALSE(std::filesystem::exists(out + "/Notiz.txt"));
    std::string strand = std::to_string(indexOf(plain.out, "Strand.jpg"));
    Outcome told = Run("restore " + Quote(image) + " --to " + Quote(out) + " --index " + strand + " --match '*.mp3'");
    EXPECT_EQ(told.exit, 1);
    EXPECT_NE(told.err.find("Strand.jpg: index " + strand + " does not match --match"), std::string::npos) << told.err;
    EXPECT_NE(told.out.find("0 restored, 0 failed, 1 skipped"), std::string::npos) << told.out;

    Outcome wrong = Run("scan " + Quote(image) + " --sort date");
    EXPECT_EQ(wrong.exit, 2);
    EXPECT_NE(wrong.err.find("--sort takes name, size or path"), std::string::npos) << wrong.err;
}

TEST_F(Jexrecover, JsonKeepsNamesThatAreNotUtf8AndListingAndSummaryKeepTheirLines)
{
    // A destination named in Latin-1, as an old system may have made it.
    std::string image = Card();
    std::string out = dir.File("Fundst\xFC" "cke");
    Outcome restore = Run("restore " + Quote(image) + " --to " + Quote(out) + " --all --json");
    ASSERT_EQ(restore.exit, 0) << restore.err;
    Json document = Json::parse(restore.out); // throws on text that is not UTF-8
    EXPECT_EQ(document["destination"], dir.File("Fundst\xEF\xBF\xBD" "cke"));
    std::string hex;
    for (unsigned char c : out) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", c);
        hex += two;
    }
    EXPECT_EQ(document["destinationHex"], hex);
    ASSERT_EQ(document["files"].size(), 3u);
    for (const Json& file : document["files"]) {
        EXPECT_EQ(file["result"], "restored");
        EXPECT_EQ(file["destinationHex"].get<std::string>().substr(0, hex.size()), hex);
    }
    EXPECT_EQ(document["summary"]["restored"], 3);
    EXPECT_EQ(jextest::ReadFile(out + "/Fotos/Strand.jpg"), std::vector<uint8_t>(3000, 'j'));

    // A listing longer than standard output's buffer, with standard error
    // into the same file: the summary comes after the last listed line, on
    // a line of its own.
    jextest::FatImageBuilder many(8192, 512, 8);
    const uint32_t count = 120;
    for (uint32_t i = 0; i < count; ++i) {
        char name[12];
        std::snprintf(name, sizeof name, "F%07uBIN", i);
        many.PutData(10 + i, std::vector<uint8_t>(100, static_cast<uint8_t>(i)));
        many.PutEntry(2, i, jextest::FatImageBuilder::Deleted(jextest::FatImageBuilder::ShortEntry(name, 0x20, 10 + i, 100)));
    }
    many.Save(dir.File("many.img"));
    std::string both = dir.File("both");
    std::string command = Quote(std::string(JEX_BIN_DIR) + "/jexrecover") + " scan " + Quote(dir.File("many.img")) +
                          " >" + Quote(both) + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::string text = jextest::ReadText(both);
    ASSERT_GT(text.size(), 4096u);
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        ASSERT_NE(end, std::string::npos) << "the output ends without a newline";
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    ASSERT_EQ(lines.size(), count + 1);
    for (uint32_t i = 0; i < count; ++i)
        EXPECT_EQ(lines[i].substr(0, 6), (i + 1 < 10 ? "     " : i + 1 < 100 ? "    " : "   ") + std::to_string(i + 1))
            << lines[i];
    EXPECT_EQ(lines.back(), "120 deleted files found on " + dir.File("many.img"));
}

TEST_F(Jexrecover, FiltersByCategoryExtensionAndInclusiveSize)
{
    std::string image = Card();
    // A file keeps its index whichever filters are given, so an index read
    // off a filtered scan names the same file in a restore without them.
    Outcome all = Run("scan " + Quote(image));
    Outcome audio = Run("scan " + Quote(image) + " --category audio");
    size_t line = all.out.find("card.img/Lied.mp3");
    ASSERT_NE(line, std::string::npos) << all.out;
    std::string lied = all.out.substr(all.out.rfind('\n', line) + 1, 6);
    EXPECT_EQ(audio.out.substr(0, 6), lied) << audio.out;
    EXPECT_NE(audio.err.find("1 deleted file found"), std::string::npos) << audio.err;
    std::string out = dir.File("out");
    Outcome one = Run("restore " + Quote(image) + " --to " + Quote(out) + " --index " + lied);
    ASSERT_EQ(one.exit, 0) << one.err;
    EXPECT_EQ(jextest::ReadFile(out + "/Lied.mp3"), std::vector<uint8_t>(5000, 'm'));
    // An index the filters leave out is told, not restored.
    Outcome left = Run("restore " + Quote(image) + " --to " + Quote(out) + " --index " + lied + " --category images");
    EXPECT_EQ(left.exit, 1);
    EXPECT_NE(left.err.find("does not match the filters given"), std::string::npos) << left.err;
    EXPECT_FALSE(std::filesystem::exists(out + "/Lied (1).mp3"));

    Outcome images = Run("scan " + Quote(image) + " --category images");
    EXPECT_NE(images.out.find("Strand.jpg"), std::string::npos);
    EXPECT_EQ(images.out.find("Notiz.txt"), std::string::npos);
    // Two categories find the files of either.
    Outcome two = Run("scan " + Quote(image) + " --category images --category audio");
    EXPECT_NE(two.out.find("Strand.jpg"), std::string::npos);
    EXPECT_NE(two.out.find("Lied.mp3"), std::string::npos);
    EXPECT_EQ(two.out.find("Notiz.txt"), std::string::npos);
    Outcome own = Run("scan " + Quote(image) + " --ext TXT,.mp3");
    EXPECT_NE(own.out.find("Notiz.txt"), std::string::npos);
    EXPECT_NE(own.out.find("Lied.mp3"), std::string::npos);
    EXPECT_EQ(own.out.find("Strand.jpg"), std::string::npos);
    // The bounds given include the files of exactly that size.
    Outcome sized = Run("scan " + Quote(image) + " --min-size 3000 --max-size 5000");
    EXPECT_NE(sized.out.find("Strand.jpg"), std::string::npos);
    EXPECT_NE(sized.out.find("Lied.mp3"), std::string::npos);
    EXPECT_EQ(sized.out.find("Notiz.txt"), std::string::npos);
    Outcome under = Run("scan " + Quote(image) + " --max-size 4K");
    EXPECT_NE(under.out.find("Strand.jpg"), std::string::npos);
    EXPECT_EQ(under.out.find("Lied.mp3"), std::string::npos);
}

TEST_F(Jexrecover, RestoreKeepsTheTreeOrFlattensAndNeverReplaces)
{
    std::string image = Card();
    std::string out = dir.File("out");
    Outcome all = Run("restore " + Quote(image) + " --to " + Quote(out) + " --all");
    ASSERT_EQ(all.exit, 0) << all.err;
    EXPECT_NE(all.out.find("3 restored, 0 failed, 0 skipped"), std::string::npos) << all.out;
    EXPECT_EQ(jextest::ReadFile(out + "/Fotos/Strand.jpg"), std::vector<uint8_t>(3000, 'j'));
    EXPECT_EQ(jextest::ReadFile(out + "/Lied.mp3"), std::vector<uint8_t>(5000, 'm'));

    // Again: the files already there stay, the new ones get a number.
    Outcome again = Run("restore " + Quote(image) + " --to " + Quote(out) + " --all --json");
    ASSERT_EQ(again.exit, 0) << again.err;
    EXPECT_TRUE(std::filesystem::exists(out + "/Fotos/Strand (1).jpg"));
    Json again_ = Json::parse(again.out);
    EXPECT_EQ(again_["files"][0]["result"], "restored");
    EXPECT_EQ(again_["files"][0]["destination"], out + "/Fotos/Strand (1).jpg");

    std::string flat = dir.File("flat");
    Outcome one = Run("restore " + Quote(image) + " --to " + Quote(flat) + " --index 1 --flat");
    ASSERT_EQ(one.exit, 0) << one.err;
    EXPECT_EQ(jextest::ReadFile(flat + "/Strand.jpg"), std::vector<uint8_t>(3000, 'j'));
    EXPECT_FALSE(std::filesystem::exists(flat + "/Fotos"));

    // An index that names a folder or nothing is skipped.
    Outcome skipped = Run("restore " + Quote(image) + " --to " + Quote(flat) + " --index 0,77");
    EXPECT_EQ(skipped.exit, 1);
    EXPECT_NE(skipped.out.find("0 restored, 0 failed, 2 skipped"), std::string::npos) << skipped.out;
    EXPECT_NE(skipped.err.find("index 0 names no file found (files are counted from 1)"), std::string::npos)
        << skipped.err;
}

TEST_F(Jexrecover, RestoresAnNtfsImageWithItsTree)
{
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 16);
    {
        jextest::NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.Folder("/Projekte");
        disk.Folder("/Projekte/Alt");
        disk.File("/Projekte/Alt/Plan.odt", std::vector<uint8_t>(12345, 'p'));
        disk.File("/Liste.csv", std::vector<uint8_t>(77, 'c'));
        disk.Stream("/Liste.csv", "Zone.Identifier", std::vector<uint8_t>(26, 'z'));
        disk.File("/Bild.jpg", std::vector<uint8_t>(50, 'j'));
        disk.Stream("/Bild.jpg", "Zone.Identifier", std::vector<uint8_t>(26, 'y'));
        disk.Delete("/Bild.jpg");
        disk.Delete("/Projekte/Alt/Plan.odt");
        disk.Delete("/Liste.csv");
        disk.Delete("/Projekte/Alt");
    }
    std::string out = dir.File("out");
    Outcome restore = Run("restore " + Quote(image) + " --to " + Quote(out) + " --all --category documents");
    ASSERT_EQ(restore.exit, 0) << restore.err;
    EXPECT_EQ(jextest::ReadFile(out + "/Projekte/Alt/Plan.odt"), std::vector<uint8_t>(12345, 'p'));
    EXPECT_EQ(jextest::ReadFile(out + "/Liste.csv"), std::vector<uint8_t>(77, 'c'));
    EXPECT_FALSE(std::filesystem::exists(out + "/Liste.csv:Zone.Identifier"));
    // Named streams on request, beside their file, which the filters chose.
    std::string streams = dir.File("streams");
    restore = Run("restore " + Quote(image) + " --streams --to " + Quote(streams) + " --all --category documents");
    ASSERT_EQ(restore.exit, 0) << restore.err;
    EXPECT_EQ(jextest::ReadFile(streams + "/Liste.csv:Zone.Identifier"), std::vector<uint8_t>(26, 'z'));
    EXPECT_TRUE(std::filesystem::exists(streams + "/Liste.csv"));
    EXPECT_FALSE(std::filesystem::exists(streams + "/Bild.jpg:Zone.Identifier"));
    Outcome listed = Run("scan " + Quote(image) + " --streams --json");
    EXPECT_NE(listed.out.find("\"stream\":\"Zone.Identifier\""), std::string::npos) << listed.out;

    // A name of 200 CJK characters is 600 bytes of UTF-8: cut to what a
    // Linux file system takes, twice, the extension kept.
    std::string longName;
    for (int i = 0; i < 200; ++i)
        longName += "\xE5\x86\x99";
    {
        jextest::NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.File("/" + longName + ".txt", std::vector<uint8_t>(10, 'l'));
        disk.Delete("/" + longName + ".txt");
    }
    std::string cut = dir.File("cut");
    for (int round = 0; round < 2; ++round) {
        Outcome again = Run("restore " + Quote(image) + " --to " + Quote(cut) + " --all --ext txt --flat");
        ASSERT_EQ(again.exit, 0) << again.err;
    }
    size_t restored = 0;
    for (const auto& entry : std::filesystem::directory_iterator(cut)) {
        std::string name = entry.path().filename().string();
        EXPECT_LE(name.size(), 255u);
        EXPECT_EQ(name.substr(name.size() - 4), ".txt");
        ++restored;
    }
    EXPECT_EQ(restored, 2u);
}

TEST_F(Jexrecover, ScansAndRestoresAnExfatCardByCategory)
{
    std::string image = jextest::MakeExfatImage(dir, "sdxc.img", 16, 4096);
    std::map<std::string, std::vector<uint8_t>> files = {
        {"DSC_0001.JPG", jextest::Content(70000, 1)},
        {"Interview.m4a", jextest::Content(9000, 2)},
        {"Vertrag.pdf", jextest::Content(4000, 3)},
    };
    jextest::ExfatImageEditor(image).PutDeletedFiles(files);
    Outcome all = Run("scan " + Quote(image));
    ASSERT_EQ(all.exit, 0) << all.err;
    for (const auto& f : files)
        EXPECT_NE(all.out.find("sdxc.img/" + f.first), std::string::npos) << all.out;
    Outcome images = Run("scan " + Quote(image) + " --category images");
    EXPECT_NE(images.out.find("DSC_0001.JPG"), std::string::npos);
    EXPECT_EQ(images.out.find("Interview.m4a"), std::string::npos);
    EXPECT_EQ(images.out.find("Vertrag.pdf"), std::string::npos);

    std::string out = dir.File("out");
    Outcome restore = Run("restore " + Quote(image) + " --to " + Quote(out) + " --all --category audio --category documents");
    ASSERT_EQ(restore.exit, 0) << restore.err;
    EXPECT_EQ(jextest::ReadFile(out + "/Interview.m4a"), files["Interview.m4a"]);
    EXPECT_EQ(jextest::ReadFile(out + "/Vertrag.pdf"), files["Vertrag.pdf"]);
    EXPECT_FALSE(std::filesystem::exists(out + "/DSC_0001.JPG"));

    // The main boot region gone: nothing is recognised, and a deep search
    // reads the card through its backup region, saying so.
    jextest::ExfatImageEditor(image).Write(0, std::vector<uint8_t>(12 * 512, 0));
    Outcome quick = Run("scan " + Quote(image));
    EXPECT_EQ(quick.exit, 2);
    EXPECT_NE(quick.err.find("holds no file system that could be recognised"), std::string::npos) << quick.err;
    Outcome deep = Run("scan " + Quote(image) + " --deep");
    ASSERT_EQ(deep.exit, 0) << deep.err;
    EXPECT_NE(deep.err.find("read from the backup boot region"), std::string::npos) << deep.err;
    for (const auto& f : files)
        EXPECT_NE(deep.out.find("sdxc.img/" + f.first), std::string::npos) << deep.out;

    // Both regions gone: the layout is found from the root directory, and
    // the files come back byte for byte.
    ASSERT_EQ(jextest::Run("dd if=/dev/zero of=" + Quote(image) + " bs=512 seek=12 count=12 conv=notrunc status=none"), 0);
    std::string lost = dir.File("lost");
    Outcome rebuilt = Run("restore " + Quote(image) + " --deep --to " + Quote(lost) + " --all --flat");
    ASSERT_EQ(rebuilt.exit, 0) << rebuilt.err;
    EXPECT_NE(rebuilt.err.find("the layout was found from the root directory"), std::string::npos) << rebuilt.err;
    for (const auto& f : files)
        EXPECT_EQ(jextest::ReadFile(lost + "/" + f.first), f.second) << f.first;
}

TEST_F(Jexrecover, PartialAndFailedRestoresAreToldApart)
{
    // An image cut short in the middle of a deleted file's data, as a copy
    // of a failing card made in a hurry is.
    jextest::FatImageBuilder image;
    const auto whole = jextest::Content(3000, 4);
    const auto part = jextest::Content(700, 5);
    const auto large = jextest::Content(40000, 6);
    image.PutData(10, part);
    image.PutData(100, large);
    image.PutData(3000, whole);
    image.PutEntry(2, 0, jextest::FatImageBuilder::Deleted(jextest::FatImageBuilder::ShortEntry("GANZ    BIN", 0x20, 10, 700)));
    image.PutEntry(2, 1, jextest::FatImageBuilder::Deleted(jextest::FatImageBuilder::ShortEntry("GROSS   BIN", 0x20, 100, 40000)));
    image.PutEntry(2, 2, jextest::FatImageBuilder::Deleted(jextest::FatImageBuilder::ShortEntry("HALB    BIN", 0x20, 3000, 3000)));
    size_t cut = static_cast<size_t>(image.ClusterOffset(3000) + 1000);
    image.Save(dir.File("cut.img"), cut);

    std::string out = dir.File("out");
    Outcome json = Run("restore " + Quote(dir.File("cut.img")) + " --to " + Quote(out) + " --all --json");
    EXPECT_EQ(json.exit, 1) << json.err;
    Json cutDocument = Json::parse(json.out);
    ASSERT_EQ(cutDocument["files"].size(), 3u) << json.out;
    EXPECT_EQ(cutDocument["files"][0]["result"], "restored");
    const Json& half = cutDocument["files"][2];
    EXPECT_EQ(half["result"], "partial");
    EXPECT_EQ(half["reason"], "the volume ends 2000 bytes before the file does; the file stops there");
    EXPECT_EQ(half["unreadableBytes"], 2000);
    EXPECT_EQ(cutDocument["summary"]["partial"], 1);
    EXPECT_EQ(cutDocument["summary"]["unreadableBytes"], 2000);
    // What the volume holds of it, and nothing made up after.
    std::vector<uint8_t> expected(whole.begin(), whole.begin() + 1000);
    EXPECT_EQ(jextest::ReadFile(out + "/_" "ALB.BIN"), expected);
    EXPECT_EQ(jextest::ReadFile(out + "/_" "ANZ.BIN"), part);

    Outcome text = Run("restore " + Quote(dir.File("cut.img")) + " --to " + Quote(dir.File("again")) + " --all");
    EXPECT_EQ(text.exit, 1);
    EXPECT_NE(text.out.find("2 restored, 1 partial, 0 failed, 0 skipped"), std::string::npos) << text.out;
    EXPECT_NE(text.err.find("ALB.BIN: partly restored: the volume ends 2000 bytes"), std::string::npos) << text.err;

    // A destination that fills up: the file fails, and nothing is left
    // under its name (a small tmpfs, where root may mount one).
    if (geteuid() != 0)
        GTEST_SKIP() << "skipped: mounting a small tmpfs needs root";
    std::string small = dir.File("small");
    std::filesystem::create_directory(small);
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=4k") != 0)
        GTEST_SKIP() << "skipped: a tmpfs cannot be mounted here: " << std::strerror(errno);
    Outcome full = Run("restore " + Quote(dir.File("cut.img")) + " --to " + Quote(small) + " --index 2 --json");
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(small))
        left.push_back(entry.path().filename().string());
    ::umount(small.c_str());
    EXPECT_EQ(full.exit, 1) << full.err;
    Json fullDocument = Json::parse(full.out);
    ASSERT_EQ(fullDocument["files"].size(), 1u) << full.out;
    EXPECT_EQ(fullDocument["files"][0]["result"], "failed");
    std::string reason = fullDocument["files"][0]["reason"];
    EXPECT_EQ(reason.rfind(small, 0), 0u) << reason;
    EXPECT_NE(reason.find("No space left on device"), std::string::npos) << reason;
    EXPECT_EQ(fullDocument["summary"]["failed"], 1);
    EXPECT_TRUE(left.empty()) << left.front();
}

TEST_F(Jexrecover, UnsafeNamesStayInsideTheDestination)
{
    jextest::FatImageBuilder image;
    const std::vector<uint8_t> data(700, 'x');
    // Each file its own clusters: none is shared, so each comes back whole.
    for (uint32_t cluster : {10u, 12u, 14u})
        image.PutData(cluster, data);
    auto put = [&image](uint32_t index, const std::u16string& name, const std::string& shortName, uint32_t cluster) {
        return image.PutNamed(2, index, name, jextest::FatImageBuilder::ShortEntry(shortName, 0x20, cluster, 700), true);
    };
    uint32_t next = put(0, u"../../escape.txt", "ESCAPE  TXT", 10);
    next = put(next, u"..", "DOTDOT     ", 12);
    put(next, u"a/b\u0001c.txt", "ABC     TXT", 14);
    image.Save(dir.File("evil.img"));
    std::string out = dir.File("dest/inner");
    Outcome restore = Run("restore " + Quote(dir.File("evil.img")) + " --to " + Quote(out) + " --all");
    ASSERT_EQ(restore.exit, 0) << restore.err;
    size_t inside = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.Path())) {
        if (!entry.is_regular_file())
            continue;
        std::string path = entry.path().string();
        if (path.rfind(out + "/", 0) == 0) {
            ++inside;
            EXPECT_EQ(jextest::ReadFile(path), data) << path;
        } else {
            EXPECT_TRUE(path == dir.File("evil.img") || path == dir.File("stdout") || path == dir.File("stderr"))
                << "written outside the destination: " << path;
        }
    }
    EXPECT_EQ(inside, 3u);
}

TEST_F(Jexrecover, DestinationOnTheSearchedVolumeIsRefused)
{
    struct stat info;
    ASSERT_EQ(::stat(dir.Path().c_str(), &info), 0);
    std::string uevent = "/sys/dev/block/" + std::to_string(major(info.st_dev)) + ":" +
                         std::to_string(minor(info.st_dev)) + "/uevent";
    std::string text = jextest::ReadText(uevent);
    size_t at = text.find("DEVNAME=");
    if (at == std::string::npos)
        GTEST_SKIP() << "skipped: the temporary folder lies on no block device here";
    std::string device = "/dev/" + text.substr(at + 8, text.find('\n', at) - at - 8);
    if (!std::filesystem::exists(device))
        GTEST_SKIP() << "skipped: " << device << " has no device node here";
    Outcome refused = Run("restore " + Quote(device) + " --to " + Quote(dir.File("out")) + " --all");
    EXPECT_EQ(refused.exit, 2);
    EXPECT_NE(refused.err.find("the volume being searched"), std::string::npos) << refused.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("out")));
}

TEST_F(Jexrecover, ACardWithNoFileSystemGivesItsFilesBackByTheirSignatures)
{
    std::string reason;
    const auto media = jextest::MakeMediaFiles(dir, reason);
    if (media.empty())
        GTEST_SKIP() << reason;
    // The files from sector starts, nothing of a file system around them.
    std::vector<uint8_t> card(4096, 0);
    std::map<uint64_t, std::string> at;
    for (const char* name : {"photo.jpg", "clip.mp4", "letter.docx"}) {
        at[card.size()] = name;
        const auto& bytes = media.at(name);
        card.insert(card.end(), bytes.begin(), bytes.end());
        card.resize((card.size() + 511) / 512 * 512 + 1024, 0);
    }
    jextest::WriteFile(dir.File("card.img"), card);
    Outcome quick = Run("scan " + Quote(dir.File("card.img")));
    EXPECT_EQ(quick.exit, 2) << "a quick search needs a file system";
    Outcome scan = Run("scan " + Quote(dir.File("card.img")) + " --deep --json");
    ASSERT_EQ(scan.exit, 0) << scan.err;
    Json document = Json::parse(scan.out);
    EXPECT_NE(document["summary"]["notice"].get<std::string>().find("searched for by their signatures alone"),
              std::string::npos);
    size_t carved = 0;
    for (const Json& entry : document["entries"])
        if (entry["type"] == "file") {
            EXPECT_EQ(entry["carved"], true);
            EXPECT_EQ(entry["chance"], 100) << entry.dump();
            ++carved;
        }
    EXPECT_EQ(carved, at.size());

    // By category, as any file; each comes back byte for byte.
    std::string out = dir.File("out");
    Outcome restore = Run("restore " + Quote(dir.File("card.img")) + " --deep --to " + Quote(out) + " --all --category images --category documents");
    ASSERT_EQ(restore.exit, 0) << restore.err;
    const auto carvedAs = [&out](const char* type, uint64_t offset) {
        char name[64];
        std::snprintf(name, sizeof name, "/$Carved/%s/f%010llu.%s", type, static_cast<unsigned long long>(offset), type);
        return out + name;
    };
    for (const auto& file : at) {
        const std::string type = file.second.substr(file.second.find('.') + 1);
        if (type != "mp4") {
            EXPECT_EQ(jextest::ReadFile(carvedAs(type.c_str(), file.first)), media.at(file.second)) << file.second;
        }
    }
    EXPECT_FALSE(std::filesystem::exists(out + "/$Carved/mp4"));
}

TEST_F(Jexrecover, BadInputIsNamedWithItsReason)
{
    struct Case {
        std::string arguments;
        std::string message;
    };
    std::string ext4 = jextest::MakeExt4Image(dir, "linux.img", 4096);
    jextest::WriteFile(dir.File("zeros.img"), std::vector<uint8_t>(1 << 20, 0));
    // GNU ddrescue maps: one beside an image that is none, one of a larger
    // copy.
    jextest::WriteFile(dir.File("mapped.img"), std::vector<uint8_t>(4096, 0));
    jextest::WriteFile(dir.File("mapped.img.map"), {'x', '\n'});
    const std::string larger = dir.File("larger.map");
    jextest::WriteFile(larger, std::vector<uint8_t>{'0', ' ', '+', '\n', '0', ' ', '8', '1', '9', '2', ' ', '+', '\n'});
    const Case cases[] = {
        {"scan " + Quote(dir.File("mapped.img")), "mapped.img.map, line 1: is no current-position line"},
        {"scan " + Quote(dir.File("mapped.img")) + " --map " + Quote(larger), "it is the map of another copy"},
        {"scan /dev/null --map " + Quote(larger), "/dev/null is no image file"},
        {"scan x --map m --no-map", "--map and --no-map exclude each other"},
        {"volumes --map m", "--map belongs to an image"},
        {"scan " + Quote(dir.File("missing.img")), "missing.img: No such file or directory"},
        {"scan " + Quote(dir.Path()), "not the mount point of a device"},
        {"scan " + Quote(ext4), "holds an ext4 file system; only FAT12, FAT16, FAT32, NTFS and exFAT volumes can be searched"},
        {"scan " + Quote(dir.File("zeros.img")), "holds no file system that could be recognised"},
        {"scan /dev/null", "is neither a device, an image file nor a mount point"},
        {"scan", "scan needs a volume"},
        {"frobnicate", "unknown command \"frobnicate\""},
        {"scan x --colour", "unknown option --colour"},
        {"restore x --all", "restore needs --to DIR"},
        {"restore x --to y", "restore needs either --all or --index"},
        {"scan x --category pictures", "unknown category \"pictures\""},
        {"scan x --min-size 10Q", "--min-size takes a size"},
        {"scan x --min-size 5 --max-size 4", "--min-size is larger than --max-size"},
        {"volumes --deep", "--deep belongs to scan and restore"},
    };
    for (const Case& c : cases) {
        Outcome outcome = Run(c.arguments);
        EXPECT_EQ(outcome.exit, 2) << c.arguments;
        EXPECT_NE(outcome.err.find(c.message), std::string::npos) << c.arguments << "\n" << outcome.err;
    }
    Outcome help = Run("--help");
    EXPECT_EQ(help.exit, 0);
    EXPECT_NE(help.out.find("jexrecover restore VOLUME [--deep] [--streams] [--map FILE | --no-map] --to DIR"),
              std::string::npos);
    Outcome version = Run("--version");
    EXPECT_EQ(version.out, "jexrecover 1.2.7\n");
}

TEST_F(Jexrecover, PartitionsOfAWholeDiskImageAreListedAndNamedByTheirNumber)
{
    jextest::WholeDisk disk;
    Outcome listed = Run("volumes " + Quote(disk.image));
    ASSERT_EQ(listed.exit, 0) << listed.err;
    EXPECT_NE(listed.out.find(disk.image + "@p1"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("FAT32"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find(disk.image + "@p5"), std::string::npos) << listed.out;
    EXPECT_NE(listed.out.find("NTFS"), std::string::npos) << listed.out;
    EXPECT_EQ(listed.out.find("@p2"), std::string::npos) << "the extended partition holds no file system";
    Outcome json = Run("volumes " + Quote(disk.image) + " --json");
    Json partitions = Json::parse(json.out)["partitions"];
    ASSERT_EQ(partitions.size(), 2u) << json.out;
    EXPECT_EQ(partitions[1], Json({{"volume", disk.image + "@p5"}, {"number", 5}, {"start", disk.ntfsStart * 512},
                                   {"size", partitions[1]["size"]}, {"fileSystem", "NTFS"}, {"searchable", true},
                                   {"cutShort", false}}));

    // Two partitions can be searched: one must be named.
    Outcome ambiguous = Run("scan " + Quote(disk.image));
    EXPECT_EQ(ambiguous.exit, 2);
    EXPECT_NE(ambiguous.err.find("name one of them"), std::string::npos) << ambiguous.err;
    EXPECT_NE(ambiguous.err.find(disk.image + "@p1"), std::string::npos) << ambiguous.err;

    Outcome restore = Run("restore " + Quote(disk.image + "@p5") + " --to " + Quote(dir.File("out")) + " --all");
    ASSERT_EQ(restore.exit, 0) << restore.err;
    EXPECT_EQ(jextest::ReadFile(dir.File("out/Brief.odt")), disk.letter);

    // A disk whose table is gone is one volume with no file system, which
    // only a deep search can be asked of.
    jextest::WriteFile(dir.File("zeros.img"), std::vector<uint8_t>(1 << 20, 0));
    Outcome wiped = Run("volumes " + Quote(dir.File("zeros.img")) + " --json");
    ASSERT_EQ(wiped.exit, 0) << wiped.err;
    EXPECT_EQ(Json::parse(wiped.out)["partitions"], Json::array({{{"volume", dir.File("zeros.img")}, {"number", 0},
                                                                  {"start", 0}, {"size", 1 << 20}, {"fileSystem", ""},
                                                                  {"searchable", false}, {"cutShort", false}}}));
}

TEST_F(Jexrecover, GptPartitionsAreScannedAndRestoredByTheirNumber)
{
    jextest::WholeDisk disk(true, jextest::WholeDisk::Gpt);
    Outcome listed = Run("volumes " + Quote(disk.image) + " --json");
    ASSERT_EQ(listed.exit, 0) << listed.err;
    Json partitions = Json::parse(listed.out)["partitions"];
    ASSERT_EQ(partitions.size(), 2u) << listed.out;
    EXPECT_EQ(partitions[1]["volume"], disk.image + "@p2");
    EXPECT_EQ(partitions[1]["fileSystem"], "NTFS");
    Outcome scan = Run("scan " + Quote(disk.image + "@p2"));
    ASSERT_EQ(scan.exit, 0) << scan.err;
    EXPECT_EQ(scan.out, "     1          12345  100%  whole.img@p2/Brief.odt\n");
    Outcome restore = Run("restore " + Quote(disk.image + "@p2") + " --to " + Quote(dir.File("out")) + " --all");
    ASSERT_EQ(restore.exit, 0) << restore.err;
    EXPECT_EQ(jextest::ReadFile(dir.File("out/Brief.odt")), disk.letter);
}

TEST_F(Jexrecover, TheOnePartitionThatCanBeSearchedIsSearched)
{
    jextest::WholeDisk disk(false);
    Outcome scan = Run("scan " + Quote(disk.image));
    ASSERT_EQ(scan.exit, 0) << scan.err;
    EXPECT_NE(scan.err.find("searching " + disk.image + "@p1 (FAT32)"), std::string::npos) << scan.err;
    EXPECT_NE(scan.out.find("whole.img@p1/Foto.jpg"), std::string::npos) << scan.out;
    Outcome restore = Run("restore " + Quote(disk.image) + " --to " + Quote(dir.File("out")) + " --all --quiet");
    ASSERT_EQ(restore.exit, 0) << restore.err;
    EXPECT_EQ(jextest::ReadFile(dir.File("out/Foto.jpg")), disk.fat);
}
