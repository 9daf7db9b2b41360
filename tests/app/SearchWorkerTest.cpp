// The search worker on images made at test time: the window's messages and
// their order, stops, names kept apart and outcomes told as they are.
#include "DialogFileRecovery.h"
#include "support/NtfsImageWriter.h"
#include "support/TestImages.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

using jextest::Quote;

namespace {

// The window with the build's folder, recording what its worker tells it.
class SearchWorker : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dialog.Bound());
        QObject::connect(&dialog, &CDialogFileRecovery::SearchDone, [this] { events.push_back("search done"); });
        QObject::connect(&dialog, &CDialogFileRecovery::RestoreBegun, [this](int i) {
            events.push_back("begin " + std::to_string(i));
            lastFraction = -1.0;
            if (stopAtBegin == i)
                dialog.Worker().RequestStop();
        });
        QObject::connect(&dialog, &CDialogFileRecovery::RestoreProgressed, [this](double fraction) {
            ++progressCalls;
            if (fraction < lastFraction)
                ++progressBackwards;
            if (lastFraction >= 0 && static_cast<int>(fraction * 100) == static_cast<int>(lastFraction * 100))
                ++progressRepeats;
            lastFraction = fraction;
        });
        QObject::connect(&dialog, &CDialogFileRecovery::RestoreEnded, [this](int i) {
            events.push_back("end " + std::to_string(i));
            // Read while the message is handled, as the window does.
            outcomes[i] = dialog.Worker().Outcome(static_cast<size_t>(i));
        });
        QObject::connect(&dialog, &CDialogFileRecovery::RestoreFinished,
                         [this](bool stopped) { events.push_back(stopped ? "finished stopped" : "finished"); });
    }

    // Handles the window's events until the last event is what, or a minute
    // has passed.
    bool WaitFor(const std::string& what)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 60000) {
            if (!events.empty() && events.back().rfind(what, 0) == 0)
                return true;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return false;
    }

    void Search(const std::string& image)
    {
        dialog.Worker().Start(QString::fromStdString(image), &dialog, nullptr);
        ASSERT_TRUE(WaitFor("search done"));
        EXPECT_EQ(dialog.Worker().SearchError(), "");
    }

    // Positions of the found files whose names end in ending, in any case.
    std::vector<uint32_t> FilesNamed(const std::string& ending)
    {
        std::vector<uint32_t> positions;
        const auto& found = dialog.Worker().Found();
        for (size_t i = 0; i < found.size(); ++i) {
            QString name = QString::fromStdString(found[i].name);
            if (!found[i].directory && name.endsWith(QString::fromStdString(ending), Qt::CaseInsensitive))
                positions.push_back(static_cast<uint32_t>(i));
        }
        return positions;
    }

    void Restore(std::vector<uint32_t> positions, const std::string& destination)
    {
        dialog.Worker().Go(std::move(positions), QString::fromStdString(destination));
        ASSERT_TRUE(WaitFor("finished"));
    }

    static size_t FilesIn(const std::string& folder)
    {
        std::error_code failed;
        if (!std::filesystem::is_directory(folder, failed))
            return 0;
        size_t count = 0;
        for (const auto& item : std::filesystem::recursive_directory_iterator(folder))
            count += item.is_regular_file() ? 1 : 0;
        return count;
    }

    // A FAT32 card with two deleted photos of the same name in two folders
    // and a deleted note, made with mtools.
    std::string Card()
    {
        std::string image = jextest::MakeFatImage(dir, "card.img", 32, 34000);
        jextest::WriteFile(dir.File("a.jpg"), jextest::Content(4 << 20, 1));
        jextest::WriteFile(dir.File("b.jpg"), jextest::Content(5000, 2));
        jextest::WriteFile(dir.File("c.txt"), jextest::Content(700, 3));
        std::string mtools = "MTOOLS_SKIP_CHECK=1 LC_ALL=C.UTF-8 ";
        std::string i = " -i " + Quote(image) + " ";
        EXPECT_EQ(jextest::Run(mtools + "mmd" + i + "::/Urlaub ::/Feier"), 0);
        EXPECT_EQ(jextest::Run(mtools + "mcopy" + i + Quote(dir.File("a.jpg")) + " ::/Urlaub/Strand.jpg"), 0);
        EXPECT_EQ(jextest::Run(mtools + "mcopy" + i + Quote(dir.File("b.jpg")) + " ::/Feier/Strand.jpg"), 0);
        EXPECT_EQ(jextest::Run(mtools + "mcopy" + i + Quote(dir.File("c.txt")) + " ::/Notiz.txt"), 0);
        EXPECT_EQ(jextest::Run(mtools + "mdel" + i + "::/Urlaub/Strand.jpg ::/Feier/Strand.jpg ::/Notiz.txt"), 0);
        return image;
    }

    jextest::TempDir dir;
    CDialogFileRecovery dialog{JEX_BIN_DIR};
    std::vector<std::string> events;
    std::map<int, CZelRestoreOutcome> outcomes;
    int stopAtBegin = -1;
    int progressCalls = 0;
    int progressBackwards = 0;
    // Calls within one file that told no new whole percentage.
    int progressRepeats = 0;
    double lastFraction = -1.0;
};

} // namespace

TEST_F(SearchWorker, RestoresAFat32CardInTheMessagesOrderKeepingNamesApart)
{
    Search(Card());
    std::vector<uint32_t> photos = FilesNamed("trand.jpg");
    std::vector<uint32_t> notes = FilesNamed("otiz.txt");
    ASSERT_EQ(photos.size(), 2u);
    ASSERT_EQ(notes.size(), 1u);
    std::string out = dir.File("out");
    // A file of the note's name is in the folder already.
    std::filesystem::create_directories(out);
    const std::string noteName = dialog.Worker().Found()[notes[0]].name;
    jextest::WriteFile(out + "/" + noteName, {'k', 'e', 'e', 'p'});

    Restore({photos[0], photos[1], notes[0]}, out);
    // One batch: each file begins, in the order the card holds them, and
    // all end once they are on the disk.
    std::vector<std::string> expected{"search done", "begin 0", "begin 1", "begin 2", "end 0", "end 1", "end 2",
                                      "finished"};
    EXPECT_EQ(events, expected);
    EXPECT_EQ(progressBackwards, 0);
    // Whole percentages only, however many pieces a file is read in (the
    // 4 MiB photo takes hundreds).
    EXPECT_GT(progressCalls, 0);
    EXPECT_EQ(progressRepeats, 0);
    EXPECT_LE(progressCalls, 3 * 101);

    std::set<std::string> written;
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(outcomes.count(i), 1u);
        EXPECT_EQ(outcomes[i].result, ZelRestoreResult::Restored) << outcomes[i].reason;
        EXPECT_EQ(std::filesystem::path(outcomes[i].destination).parent_path(), std::filesystem::path(out));
        written.insert(outcomes[i].destination);
    }
    EXPECT_EQ(written.size(), 3u);
    EXPECT_FALSE(outcomes[0].renamed);
    EXPECT_TRUE(outcomes[1].renamed);
    EXPECT_TRUE(outcomes[2].renamed);
    EXPECT_EQ(jextest::ReadText(out + "/" + noteName), "keep");
    std::vector<std::vector<uint8_t>> contents;
    for (int i = 0; i < 2; ++i)
        contents.push_back(jextest::ReadFile(outcomes[i].destination));
    std::sort(contents.begin(), contents.end(),
              [](const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) { return a.size() < b.size(); });
    EXPECT_EQ(contents[0], jextest::Content(5000, 2));
    EXPECT_EQ(contents[1], jextest::Content(4 << 20, 1));
    EXPECT_EQ(jextest::ReadFile(outcomes[2].destination), jextest::Content(700, 3));
    EXPECT_EQ(FilesIn(out), 4u);
}

TEST_F(SearchWorker, RestoresAnNtfsVolume)
{
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 16);
    {
        jextest::NtfsImageWriter writer(image);
        writer.Folder("/Docs");
        writer.File("/Docs/Brief.odt", jextest::Content(9000, 4));
        writer.File("/Brief.odt", jextest::Content(200, 5));
        writer.Delete("/Docs/Brief.odt");
        writer.Delete("/Brief.odt");
    }
    Search(image);
    std::vector<uint32_t> letters = FilesNamed("Brief.odt");
    ASSERT_EQ(letters.size(), 2u);
    std::string out = dir.File("out");
    Restore(letters, out);
    std::vector<std::string> expected{"search done", "begin 0", "begin 1", "end 0", "end 1", "finished"};
    EXPECT_EQ(events, expected);
    std::multiset<size_t> sizes;
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(outcomes[i].result, ZelRestoreResult::Restored) << outcomes[i].reason;
        std::vector<uint8_t> bytes = jextest::ReadFile(outcomes[i].destination);
        EXPECT_TRUE(bytes == jextest::Content(9000, 4) || bytes == jextest::Content(200, 5));
        sizes.insert(bytes.size());
    }
    EXPECT_EQ(sizes, (std::multiset<size_t>{200, 9000}));
    EXPECT_EQ(FilesIn(out), 2u);
}

TEST_F(SearchWorker, AStopBeforeTheListRestoresNothing)
{
    Search(Card());
    std::vector<uint32_t> photos = FilesNamed("trand.jpg");
    ASSERT_EQ(photos.size(), 2u);
    dialog.Worker().RequestStop();
    Restore(photos, dir.File("out"));
    EXPECT_EQ(events, (std::vector<std::string>{"search done", "finished stopped"}));
    EXPECT_EQ(FilesIn(dir.File("out")), 0u);
}

TEST_F(SearchWorker, AStopDuringTheListEndsAfterTheFileInProgress)
{
    Search(Card());
    std::vector<uint32_t> files = FilesNamed("trand.jpg");
    std::vector<uint32_t> notes = FilesNamed("otiz.txt");
    files.insert(files.end(), notes.begin(), notes.end());
    ASSERT_EQ(files.size(), 3u);
    stopAtBegin = 1;
    Restore(files, dir.File("out"));
    EXPECT_EQ(events, (std::vector<std::string>{"search done", "begin 0", "begin 1", "end 0", "end 1",
                                                "finished stopped"}));
    EXPECT_EQ(outcomes[1].result, ZelRestoreResult::Restored) << outcomes[1].reason;
    EXPECT_EQ(FilesIn(dir.File("out")), 2u);
}

TEST_F(SearchWorker, AStopCalledWhileAnotherWaitsLeavesTheWaitToTheFirst)
{
    // A second Stop comes from an event the first one handles while it
    // waits (a second click on New search, or the window closing meanwhile):
    // it must neither wait nor join the thread the first one joins.
    Search(Card());
    std::vector<uint32_t> photos = FilesNamed("trand.jpg");
    ASSERT_EQ(photos.size(), 2u);
    bool outerDone = false;
    int inner = 0;
    // The first Stop is posted while the worker waits for the first file's
    // beginning to be told, so it runs before any of that file's progress.
    QObject::connect(&dialog, &CDialogFileRecovery::RestoreBegun, [&](int i) {
        if (i == 0)
            QMetaObject::invokeMethod(
                &dialog,
                [&] {
                    dialog.Worker().Stop();
                    outerDone = true;
                },
                Qt::QueuedConnection);
    });
    QObject::connect(&dialog, &CDialogFileRecovery::RestoreProgressed, [&] {
        // Only from within the first Stop's wait: a Stop of its own from a
        // message the worker waits on would wait for itself.
        if (!dialog.Worker().Stopping() || inner++ != 0)
            return;
        dialog.Worker().Stop();
        EXPECT_TRUE(dialog.Worker().Started());
        // No new search begins while the first Stop waits.
        EXPECT_FALSE(dialog.Worker().Start(QStringLiteral("/nonexistent"), &dialog, nullptr));
    });
    dialog.Worker().Go(photos, QString::fromStdString(dir.File("out")));
    QElapsedTimer clock;
    clock.start();
    while (!outerDone && clock.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_TRUE(outerDone);
    EXPECT_GE(inner, 1);
    EXPECT_FALSE(dialog.Worker().Started());
    EXPECT_FALSE(dialog.Worker().Stopping());
    ASSERT_TRUE(WaitFor("finished"));
    EXPECT_EQ(events.back(), "finished stopped");
    EXPECT_EQ(FilesIn(dir.File("out")), 1u);
}

TEST_F(SearchWorker, AnEmptyDestinationWritesNothing)
{
    std::string image = Card();
    auto before = std::filesystem::last_write_time(image);
    size_t filesBefore = FilesIn(dir.Path());
    Search(image);
    std::vector<uint32_t> photos = FilesNamed("trand.jpg");
    ASSERT_EQ(photos.size(), 2u);
    Restore(photos, "");
    EXPECT_EQ(events, (std::vector<std::string>{"search done", "finished"}));
    EXPECT_EQ(FilesIn(dir.Path()), filesBefore);
    EXPECT_EQ(std::filesystem::last_write_time(image), before);
}

// A destination that cannot take the file: reported failed with its cause,
// never as restored.
TEST_F(SearchWorker, AFailedRestoreIsToldAsFailed)
{
    Search(Card());
    std::vector<uint32_t> notes = FilesNamed("otiz.txt");
    ASSERT_EQ(notes.size(), 1u);
    std::string blocked = dir.File("blocked");
    jextest::WriteFile(blocked, {'x'});
    Restore(notes, blocked);
    EXPECT_EQ(events, (std::vector<std::string>{"search done", "begin 0", "end 0", "finished"}));
    EXPECT_EQ(outcomes[0].result, ZelRestoreResult::Failed);
    EXPECT_FALSE(outcomes[0].reason.empty());
    EXPECT_EQ(jextest::ReadText(blocked), "x");
}

TEST_F(SearchWorker, AVolumeWithoutAFileSystemIsSearchedToNothing)
{
    jextest::WriteFile(dir.File("blank.img"), std::vector<uint8_t>(1 << 20, 0));
    dialog.Worker().Start(QString::fromStdString(dir.File("blank.img")), &dialog, nullptr);
    ASSERT_TRUE(WaitFor("search done"));
    EXPECT_TRUE(dialog.Worker().Found().empty());
    EXPECT_FALSE(dialog.Worker().SearchError().empty());
    Restore({0}, dir.File("out"));
    EXPECT_EQ(events, (std::vector<std::string>{"search done", "finished"}));
    EXPECT_EQ(FilesIn(dir.File("out")), 0u);
}

// Run as root on behalf of a user, restored files and the folders made for
// them belong to that user.
TEST_F(SearchWorker, FilesGoToTheUserTheProgramRunsFor)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give files away";
    Search(Card());
    std::vector<uint32_t> notes = FilesNamed("otiz.txt");
    ASSERT_EQ(notes.size(), 1u);
    setenv("SUDO_UID", "4321", 1);
    setenv("SUDO_GID", "4322", 1);
    std::string out = dir.File("made/for/you");
    Restore(notes, out);
    unsetenv("SUDO_UID");
    unsetenv("SUDO_GID");
    ASSERT_EQ(outcomes[0].result, ZelRestoreResult::Restored) << outcomes[0].reason;
    struct stat file {};
    ASSERT_EQ(::stat(outcomes[0].destination.c_str(), &file), 0);
    EXPECT_EQ(file.st_uid, 4321u);
    EXPECT_EQ(file.st_gid, 4322u);
    for (const std::string& folder : {dir.File("made"), out}) {
        struct stat made {};
        ASSERT_EQ(::stat(folder.c_str(), &made), 0);
        EXPECT_EQ(made.st_uid, 4321u) << folder;
    }
    // The folder that was there already stays its owner's.
    struct stat top {};
    ASSERT_EQ(::stat(dir.Path().c_str(), &top), 0);
    EXPECT_EQ(top.st_uid, 0u);
}
