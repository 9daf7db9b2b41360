// Choosing found files and restoring them below a destination folder.
#include "jexplatform/OutputFile.h"
#include "jexrecovery/ZelDestination.h"
#include "jexrecovery/ZelRestoreRun.h"
#include "jexrecovery/ZelSelection.h"
#include "support/ExportCore.h"
#include "support/FatImageBuilder.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

using jextest::BoundCore;
using jextest::FatImageBuilder;

namespace {

// Records what the restore run tells, and can stop it.
class Recorder : public CZelRestoreObserver {
public:
    void Begin(size_t number, size_t total, const std::string& name) override
    {
        events.push_back("begin " + std::to_string(number) + "/" + std::to_string(total) + " " + name);
        ++begun;
    }
    void Progress(double fraction) override { last = fraction; }
    void End(size_t number, const CZelRestoreOutcome& outcome) override
    {
        events.push_back("end " + std::to_string(number) + " " + ZelRestoreResultName(outcome.result));
    }
    bool Stopped() override { return stopAfter >= 0 && begun >= stopAfter; }

    std::vector<std::string> events;
    int begun = 0;
    double last = -1.0;
    int stopAfter = -1;
};

// Deleted files in a folder and in the root of a hand-made FAT32 image.
class RestoreRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        FatImageBuilder image;
        image.PutEntry(2, 0, FatImageBuilder::Deleted(FatImageBuilder::ShortEntry("FOTOS      ", 0x10, 3, 0)));
        image.PutEntry(2, 1, FatImageBuilder::Deleted(FatImageBuilder::ShortEntry("NOTIZ   TXT", 0x20, 20, 300)));
        image.PutEntry(3, 0, FatImageBuilder::ShortEntry(".          ", 0x10, 3, 0));
        image.PutEntry(3, 1, FatImageBuilder::ShortEntry("..         ", 0x10, 0, 0));
        image.PutEntry(3, 2, FatImageBuilder::ShortEntry("BILD    JPG", 0x20, 10, 2000));
        image.PutData(10, jextest::Content(2000, 1));
        image.PutData(20, jextest::Content(300, 2));
        image.Save(dir.File("card.img"));
        std::string error;
        ASSERT_TRUE(scan.Prepare(dir.File("card.img"), error)) << error;
        ASSERT_TRUE(scan.Search({}, error)) << error;
        ASSERT_EQ(scan.Found().size(), 3u);
    }

    jextest::TempDir dir;
    CZelRecoveryScan scan{*BoundCore().GetFileSystemCreator()};
};

} // namespace

TEST_F(RestoreRun, SelectionsCountFilesFromOneAndSkipUnknownIndexes)
{
    CZelSelection all = ZelSelectAll(scan.Found());
    ASSERT_EQ(all.files.size(), 2u);
    EXPECT_EQ(all.files[0]->Path(), "card.img/_OTOS/BILD.JPG");
    EXPECT_TRUE(all.skipped.empty());

    // Files are counted from 1; the folder has no number.
    CZelSelection some = ZelSelectIndexes(scan.Found(), {2, 0, 2, 9, 1});
    ASSERT_EQ(some.files.size(), 2u);
    EXPECT_EQ(some.files[0]->index, 2u);
    EXPECT_EQ(some.files[0], all.files[1]);
    EXPECT_EQ(some.files[1], all.files[0]);
    ASSERT_EQ(some.skipped.size(), 2u);
    EXPECT_EQ(some.skipped[0].result, ZelRestoreResult::Skipped);
    EXPECT_EQ(some.skipped[0].reason, "index 0 names no file found (files are counted from 1)");
    EXPECT_EQ(some.skipped[1].reason, "index 9 names no file found");
    EXPECT_EQ(some.skipped[1].source, "");
}

TEST_F(RestoreRun, FilesFollowTheirTreeUnderFreeNames)
{
    std::string out = dir.File("out");
    Recorder recorder;
    CZelSelection all = ZelSelectAll(scan.Found());
    auto outcomes = ZelRestoreFiles(all.files, out, false, &recorder);
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0].result, ZelRestoreResult::Restored);
    EXPECT_EQ(outcomes[0].destination, out + "/_OTOS/BILD.JPG");
    EXPECT_EQ(jextest::ReadFile(outcomes[0].destination), jextest::Content(2000, 1));
    EXPECT_EQ(jextest::ReadFile(out + "/_OTIZ.TXT"), jextest::Content(300, 2));
    // Files are named in batches: each ends, in order, once it is on the
    // disk.
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"begin 1/2 BILD.JPG", "begin 2/2 _OTIZ.TXT",
                                                         "end 1 restored", "end 2 restored"}));
    EXPECT_EQ(recorder.last, 1.0);

    // Asked for in the other order, they are still read in the order the
    // volume holds them, and end in the order asked.
    Recorder reversed;
    outcomes = ZelRestoreFiles({all.files[1], all.files[0]}, dir.File("reversed"), true, &reversed);
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0].destination, dir.File("reversed") + "/_OTIZ.TXT");
    EXPECT_EQ(reversed.events, (std::vector<std::string>{"begin 2/2 BILD.JPG", "begin 1/2 _OTIZ.TXT",
                                                         "end 1 restored", "end 2 restored"}));

    // Again, flat: what is there stays, the new files get a number.
    outcomes = ZelRestoreFiles(all.files, out, true, nullptr);
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[0].destination, out + "/BILD.JPG");
    EXPECT_EQ(outcomes[1].destination, out + "/_OTIZ (1).TXT");
    EXPECT_EQ(jextest::ReadFile(out + "/_OTIZ.TXT"), jextest::Content(300, 2));

    // The same file twice in one batch: the second name is held for the
    // first while neither is named yet.
    std::vector<const CZelFoundEntry*> twice{all.files[0], all.files[0]};
    outcomes = ZelRestoreFiles(twice, dir.File("twice"), true, nullptr);
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[1].result, ZelRestoreResult::Restored) << outcomes[1].reason;
    EXPECT_EQ(outcomes[1].destination, dir.File("twice") + "/BILD (1).JPG");

    // A stop before the second file ends the run there.
    Recorder stopping;
    stopping.stopAfter = 1;
    EXPECT_EQ(ZelRestoreFiles(all.files, dir.File("stopped"), true, &stopping).size(), 1u);
}

TEST_F(RestoreRun, FailuresNameTheirCause)
{
    CZelSelection all = ZelSelectAll(scan.Found());
    // A file where a folder should go.
    jextest::WriteFile(dir.File("blocked"), {1});
    auto outcomes = ZelRestoreFiles(all.files, dir.File("blocked"), false, nullptr);
    ASSERT_EQ(outcomes.size(), 2u);
    for (const CZelRestoreOutcome& o : outcomes) {
        EXPECT_EQ(o.result, ZelRestoreResult::Failed);
        EXPECT_EQ(o.reason.rfind(dir.File("blocked"), 0), 0u) << o.reason;
    }
    // Entries of a scan that has ended are refused.
    std::vector<CZelFoundEntry> kept = scan.Found();
    std::string error;
    ASSERT_TRUE(scan.Search({}, error)) << error;
    std::vector<const CZelFoundEntry*> stale{&kept[1]};
    outcomes = ZelRestoreFiles(stale, dir.File("late"), true, nullptr);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0].result, ZelRestoreResult::Failed);
    EXPECT_EQ(outcomes[0].reason, "the volume no longer holds this file");
    EXPECT_FALSE(std::filesystem::exists(outcomes[0].destination));
}

TEST_F(RestoreRun, AFileWhoseFlushFailsIsFailedAndLeavesNothing)
{
    struct Failing {
        Failing() { CZelOutputFile::FailFlushesForTests(EIO); }
        ~Failing() { CZelOutputFile::FailFlushesForTests(0); }
    };
    CZelSelection all = ZelSelectAll(scan.Found());
    std::string out = dir.File("out");
    {
        Failing failing;
        auto outcomes = ZelRestoreFiles(all.files, out, true, nullptr);
        ASSERT_EQ(outcomes.size(), 2u);
        for (const CZelRestoreOutcome& o : outcomes) {
            EXPECT_EQ(o.result, ZelRestoreResult::Failed);
            EXPECT_EQ(o.reason, o.destination + ": Input/output error");
        }
        EXPECT_TRUE(std::filesystem::is_empty(out));
    }
    // Flushed, the same files get the same names.
    auto outcomes = ZelRestoreFiles(all.files, out, true, nullptr);
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(outcomes[1].destination, out + "/_OTIZ.TXT");
    EXPECT_EQ(jextest::ReadFile(outcomes[1].destination), jextest::Content(300, 2));
}

TEST(RestoreRunBatches, NamesStayHeldWhileTheBatchBeforeIsNamed)
{
    // 300 deleted files of one name in three folders: restored flat, in
    // two batches, the second placed while the first is still being put
    // on the disk.
    jextest::TempDir dir;
    FatImageBuilder image(8192, 512, 8);
    uint32_t data = 10;
    for (uint32_t folder = 0; folder < 3; ++folder) {
        const uint32_t cluster = 3 + folder;
        image.PutEntry(2, folder, FatImageBuilder::ShortEntry("ORDNER" + std::to_string(folder) + "    ", 0x10, cluster, 0));
        image.PutEntry(cluster, 0, FatImageBuilder::ShortEntry(".          ", 0x10, cluster, 0));
        image.PutEntry(cluster, 1, FatImageBuilder::ShortEntry("..         ", 0x10, 0, 0));
        for (uint32_t i = 0; i < 100; ++i, ++data) {
            image.PutEntry(cluster, 2 + i, FatImageBuilder::Deleted(FatImageBuilder::ShortEntry("SAME    TXT", 0x20, data, 100)));
            image.PutData(data, jextest::Content(100, static_cast<int>(data)));
        }
    }
    image.Save(dir.File("many.img"));
    CZelRecoveryScan scan{*BoundCore().GetFileSystemCreator()};
    std::string error;
    ASSERT_TRUE(scan.Prepare(dir.File("many.img"), error)) << error;
    ASSERT_TRUE(scan.Search({}, error)) << error;
    CZelSelection all = ZelSelectAll(scan.Found());
    ASSERT_EQ(all.files.size(), 300u);
    Recorder recorder;
    auto outcomes = ZelRestoreFiles(all.files, dir.File("out"), true, &recorder);
    ASSERT_EQ(outcomes.size(), 300u);
    std::set<std::string> names;
    for (const CZelRestoreOutcome& o : outcomes) {
        EXPECT_EQ(o.result, ZelRestoreResult::Restored) << o.destination << ": " << o.reason;
        names.insert(o.destination);
    }
    EXPECT_EQ(names.size(), 300u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.File("out")), {}), 300);
    // Every file ends once, in the order asked, after it began.
    std::vector<std::string> ends;
    for (const std::string& event : recorder.events)
        if (event.rfind("end ", 0) == 0)
            ends.push_back(event);
    ASSERT_EQ(ends.size(), 300u);
    EXPECT_EQ(ends.front(), "end 1 restored");
    EXPECT_EQ(ends.back(), "end 300 restored");
}

TEST(Destination, SafeAndFreeNames)
{
    EXPECT_EQ(ZelSafeName("Brief an Oma.txt"), "Brief an Oma.txt");
    EXPECT_EQ(ZelSafeName(""), "_");
    EXPECT_EQ(ZelSafeName("."), "__");
    EXPECT_EQ(ZelSafeName(".."), "___");
    EXPECT_EQ(ZelSafeName("a/b\x01" "c.txt"), "a_b_c.txt");
    // 600 bytes of UTF-8 are cut to 255 at a character's boundary, the
    // extension kept.
    std::string cjk;
    for (int i = 0; i < 200; ++i)
        cjk += "\xE5\x86\x99";
    std::string cut = ZelSafeName(cjk + ".txt");
    EXPECT_LE(cut.size(), 255u);
    EXPECT_EQ(cut.substr(cut.size() - 4), ".txt");
    EXPECT_EQ((cut.size() - 4) % 3, 0u);

    jextest::TempDir dir;
    EXPECT_EQ(ZelFreeName(dir.Path(), "a.txt"), "a.txt");
    jextest::WriteFile(dir.File("a.txt"), {});
    jextest::WriteFile(dir.File("a (1).txt"), {});
    EXPECT_EQ(ZelFreeName(dir.Path(), "a.txt"), "a (2).txt");

    EXPECT_EQ(ZelDestinationFolder("/out", "card.img/DCIM/100CANON/x.jpg", false), "/out/DCIM/100CANON");
    EXPECT_EQ(ZelDestinationFolder("/out", "card.img/DCIM/x.jpg", true), "/out");
    EXPECT_EQ(ZelDestinationFolder("/out", "card.img/../..//x.jpg", false), "/out/___/___/_");

    // An image file is no block device: no destination lies on it.
    CZelVolumeCheck image = ZelCheckVolume(dir.File("a.txt"), false);
    ASSERT_TRUE(image.ok) << image.error;
    EXPECT_FALSE(image.blockDevice);
    EXPECT_EQ(ZelRefuseDestination(image, dir.Path()), "");
}
