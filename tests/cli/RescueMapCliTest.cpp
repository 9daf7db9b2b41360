// Copies of failing disks made by GNU ddrescue, read as their maps say.
#include "JexrecoverRunner.h"
#include "support/RescueCopy.h"
#include "support/WholeDisk.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>

using jextest::Content;
using jextest::Outcome;
using jextest::Quote;
using Json = nlohmann::json;

namespace {

class RescueMapCli : public jextest::JexrecoverRunner {
protected:
    void SetUp() override
    {
        const std::string missing = jextest::RescueCopyMissing();
        if (!missing.empty())
            GTEST_SKIP() << missing;
    }

    // Where bytes first lie in the image.
    static uint64_t Find(const std::string& image, const std::vector<uint8_t>& bytes)
    {
        const std::vector<uint8_t> all = jextest::ReadFile(image);
        auto at = std::search(all.begin(), all.end(), bytes.begin(), bytes.end());
        EXPECT_NE(at, all.end());
        return static_cast<uint64_t>(at - all.begin());
    }

    static const Json* Entry(const Json& document, const std::string& name)
    {
        for (const Json& file : document["files"])
            if (file["source"].get<std::string>().find(name) != std::string::npos)
                return &file;
        return nullptr;
    }
};

} // namespace

TEST_F(RescueMapCli, WhatTheCopyCouldNotReadIsUnreadableNotData)
{
    // A card: a photo and a letter deleted, and a folder whose entries
    // lie in a sector the disk could not read.
    const std::string card = jextest::MakeFatImage(dir, "card.img", 32, 34000);
    const auto photo = Content(60000, 7), letter = Content(5000, 8);
    jextest::WriteFile(dir.File("photo"), photo);
    jextest::WriteFile(dir.File("letter"), letter);
    const std::string mtools = "MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8 ";
    const std::string i = " -i " + Quote(card) + " ";
    ASSERT_EQ(jextest::Run(mtools + "mmd" + i + "::/Notizen"), 0);
    ASSERT_EQ(jextest::Run(mtools + "mcopy" + i + Quote(dir.File("letter")) + " ::/Notizen/Alt.txt"), 0);
    ASSERT_EQ(jextest::Run(mtools + "mcopy" + i + Quote(dir.File("photo")) + " ::/Foto.jpg"), 0);
    ASSERT_EQ(jextest::Run(mtools + "mcopy" + i + Quote(dir.File("letter")) + " ::/Brief.txt"), 0);
    ASSERT_EQ(jextest::Run(mtools + "mdel" + i + "::/Foto.jpg ::/Brief.txt ::/Notizen/Alt.txt"), 0);
    const uint64_t photoAt = Find(card, photo);
    const uint64_t folderAt = Find(card, {'L', 'T', ' ', ' ', ' ', ' ', ' ', 'T', 'X', 'T'}) / 512 * 512;
    const std::string copy = dir.File("copy.img");
    ASSERT_TRUE(jextest::RescueCopy(card, {{photoAt + 8192, photoAt + 12288}, {folderAt, folderAt + 512}}, copy,
                                    copy + ".map"));

    // The map beside the copy is used, and said so; the folder's sector is
    // counted as unreadable.
    Outcome scan = Run("scan " + Quote(copy) + " --json");
    EXPECT_NE(scan.err.find("as the GNU ddrescue map " + copy + ".map describes it"), std::string::npos) << scan.err;
    Json listed = Json::parse(scan.out);
    EXPECT_EQ(listed["summary"]["unreadable"], 1) << scan.out;
    // A deep search reads the free clusters too: the photo's unread ones
    // are passed over and counted as well.
    Outcome deep = Run("scan " + Quote(copy) + " --deep --json");
    EXPECT_GT(Json::parse(deep.out)["summary"]["unreadable"].get<int>(), 1) << deep.out << deep.err;

    Outcome restore = Run("restore " + Quote(copy) + " --to " + Quote(dir.File("out")) + " --all --flat --json");
    EXPECT_EQ(restore.exit, 1) << restore.err;
    Json restored = Json::parse(restore.out);
    const Json* foto = Entry(restored, "Foto.jpg");
    ASSERT_NE(foto, nullptr) << restore.out;
    EXPECT_EQ((*foto)["result"], "partial");
    EXPECT_EQ((*foto)["unreadableBytes"], 4096);
    const Json* brief = Entry(restored, "Brief.txt");
    ASSERT_NE(brief, nullptr) << restore.out;
    EXPECT_EQ((*brief)["result"], "restored");
    EXPECT_EQ(jextest::ReadFile((*brief)["destination"].get<std::string>()), letter);

    // Without it the zeros GNU ddrescue left pass for the photo's data.
    Outcome blind = Run("restore " + Quote(copy) + " --no-map --to " + Quote(dir.File("blind")) + " --all --json");
    const Json blindly = Json::parse(blind.out);
    const Json* unseen = Entry(blindly, "Foto.jpg");
    ASSERT_NE(unseen, nullptr) << blind.out;
    EXPECT_EQ((*unseen)["result"], "restored");
}

TEST_F(RescueMapCli, EachPartitionOfAWholeDiskCopyFollowsTheDisksMap)
{
    // A FAT32 and an NTFS partition, each with a deleted file that lies
    // partly where the disk could not be read.
    jextest::WholeDisk disk;
    const uint64_t fatAt = Find(disk.image, disk.fat), letterAt = Find(disk.image, disk.letter);
    const std::string copy = dir.File("disk-copy.img");
    ASSERT_TRUE(jextest::RescueCopy(disk.image, {{fatAt + 4096, fatAt + 6144}, {letterAt + 8192, letterAt + 9216}},
                                    copy, dir.File("rescue.map")));
    for (const auto& [number, unread] : {std::pair<int, int>{1, 2048}, {disk.ntfsNumber, 1024}}) {
        const std::string volume = copy + "@p" + std::to_string(number);
        Outcome restore = Run("restore " + Quote(volume) + " --map " + Quote(dir.File("rescue.map")) + " --to " +
                              Quote(dir.File("out")) + " --all --json");
        Json document = Json::parse(restore.out);
        ASSERT_EQ(document["files"].size(), 1u) << restore.out << restore.err;
        EXPECT_EQ(document["files"][0]["result"], "partial") << volume;
        EXPECT_EQ(document["files"][0]["unreadableBytes"], unread) << volume;
        std::filesystem::remove_all(dir.File("out"));
    }
}
