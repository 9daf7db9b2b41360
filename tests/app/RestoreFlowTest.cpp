// The main window from a search to restored files and back, on images made
// at test time: the bytes, the progress texts, stops, closing the window,
// the outcome of each file, and what sorting and narrowing leave chosen.
#include "WindowDriver.h"
#include "support/ExfatImage.h"
#include "support/NtfsImageWriter.h"
#include "support/TestImages.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <utility>

using apptest::LanguageText;
using apptest::WindowDriver;
using Phase = CDialogFileRecovery::Phase;

namespace {

const std::string kMtools = "MTOOLS_SKIP_CHECK=1 ";

// A FAT32 card: deleted photos in two folders (two of the same name), a
// deleted note, and a live photo; each file's bytes from its own seed.
struct Card {
    explicit Card(const jextest::TempDir& dir, size_t photoSize = 5000)
    {
        image = jextest::MakeFatImage(dir, "card.img", 32, 40000);
        const std::string i = " -i " + jextest::Quote(image) + " ";
        EXPECT_EQ(jextest::Run(kMtools + "mmd" + i + "::/Urlaub ::/Feier"), 0);
        Put(dir, "/Urlaub/Strand.jpg", photoSize, 1);
        Put(dir, "/Urlaub/Berg.jpg", photoSize + 1000, 2);
        Put(dir, "/Feier/Strand.jpg", photoSize + 2000, 3);
        Put(dir, "/Feier/Kuchen.jpg", photoSize + 3000, 4);
        Put(dir, "/Notiz.txt", 700, 5);
        Put(dir, "/Bleibt.jpg", 900, 6);
        EXPECT_EQ(jextest::Run(kMtools + "mdel" + i +
                               "::/Urlaub/Strand.jpg ::/Urlaub/Berg.jpg ::/Feier/Strand.jpg ::/Feier/Kuchen.jpg "
                               "::/Notiz.txt"),
                  0);
    }
    void Put(const jextest::TempDir& dir, const std::string& path, size_t size, uint32_t seed)
    {
        std::string source = dir.File("source" + std::to_string(seed));
        jextest::WriteFile(source, jextest::Content(size, seed));
        EXPECT_EQ(jextest::Run(kMtools + "mcopy -i " + jextest::Quote(image) + " " + jextest::Quote(source) + " ::" +
                               path),
                  0);
        contents[path] = jextest::Content(size, seed);
    }
    std::string image;
    std::map<std::string, std::vector<uint8_t>> contents;
};

QTreeWidget* List(CDialogFileRecovery& dialog, int id)
{
    return qobject_cast<QTreeWidget*>(dialog.Control(id));
}

std::vector<std::string> Statuses(CDialogFileRecovery& dialog)
{
    std::vector<std::string> statuses;
    QTreeWidget* list = List(dialog, 105);
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        statuses.push_back(list->topLevelItem(i)->text(1).toStdString());
    return statuses;
}

std::vector<std::string> Messages(const WindowDriver& window)
{
    std::vector<std::string> texts;
    for (const apptest::ShownMessage& message : window.messages.shown)
        texts.push_back(message.text);
    return texts;
}

std::string Done()
{
    return LanguageText(29).toStdString();
}

// The found path of a position, without the volume's root name.
std::string FoundPath(CDialogFileRecovery& dialog, uint32_t position)
{
    const std::string& path = dialog.Worker().Found().at(position).Path();
    return path.substr(path.find('/'));
}

} // namespace

TEST(RestoreFlow, RecoversTickedPhotosOfAFat32CardByteForByteAndGoesBack)
{
    jextest::TempDir dir;
    Card card(dir);
    WindowDriver window({card.image});
    CDialogFileRecovery& dialog = window.Dialog();
    ASSERT_TRUE(window.SelectVolume(card.image));
    window.Tick(124, true); // images
    ASSERT_TRUE(window.SearchAndWait());
    // Only photos are listed, the note is not; the live photo neither.
    std::vector<std::vector<std::string>> rows = window.FoundRows();
    ASSERT_EQ(rows.size(), 4u);
    for (const auto& row : rows)
        EXPECT_NE(row[0].find(".jpg"), std::string::npos) << row[0];

    dialog.SortFoundList(0, Qt::AscendingOrder);
    rows = window.FoundRows();
    EXPECT_LE(rows[0][0], rows[1][0]);
    ASSERT_TRUE(window.SelectFound({"Kuchen.jpg", "Berg.jpg"}));
    std::string out = dir.File("out");
    ASSERT_TRUE(window.RecoverAndWait(out));

    EXPECT_EQ(dialog.CurrentPhase(), Phase::Restored);
    EXPECT_EQ(dialog.windowTitle(), LanguageText(31));
    EXPECT_EQ(Messages(window), std::vector<std::string>{LanguageText(30).toStdString()});
    EXPECT_EQ(Statuses(dialog), (std::vector<std::string>{Done(), Done()}));
    EXPECT_EQ(window.TextOf(113), QStringLiteral("100%"));
    EXPECT_TRUE(dialog.Control(110)->isEnabled());
    EXPECT_FALSE(dialog.Control(111)->isEnabled());
    // Sorted by name, Berg comes first, and so it was restored first.
    EXPECT_EQ(List(dialog, 105)->topLevelItem(0)->text(0), QStringLiteral("Berg.jpg"));
    // Its tooltip gives the whole path it came from.
    EXPECT_TRUE(List(dialog, 105)->topLevelItem(0)->toolTip(0).endsWith(QStringLiteral("/Urlaub/Berg.jpg")))
        << List(dialog, 105)->topLevelItem(0)->toolTip(0).toStdString();
    EXPECT_EQ(jextest::ReadFile(out + "/Berg.jpg"), card.contents["/Urlaub/Berg.jpg"]);
    EXPECT_EQ(jextest::ReadFile(out + "/Kuchen.jpg"), card.contents["/Feier/Kuchen.jpg"]);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 2);

    qobject_cast<QPushButton*>(dialog.Control(110))->click();
    EXPECT_EQ(dialog.CurrentPhase(), Phase::ChooseVolume);
    EXPECT_EQ(dialog.windowTitle(), LanguageText(0));
    std::vector<int> expected{100, 101, 117, 118, 119, 121, 122, 123, 124, 125, 126, 127, 128, 129, 131, 133, 1006, 1008, 1009, 1010};
    EXPECT_EQ(dialog.VisibleControls(), expected);
    EXPECT_EQ(List(dialog, 105)->topLevelItemCount(), 0);
    EXPECT_FALSE(dialog.Control(101)->isEnabled());
    EXPECT_TRUE(dialog.Control(111)->isEnabled());
}

TEST(RestoreFlow, RecoversFromAnNtfsImageAndNamesAFileThatWentUnderAnotherName)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 16);
    {
        jextest::NtfsImageWriter writer(image);
        writer.Folder("/Docs");
        writer.File("/Docs/Brief.odt", jextest::Content(9000, 4));
        writer.File("/Liste.ods", jextest::Content(300, 5));
        writer.Delete("/Docs/Brief.odt");
        writer.Delete("/Liste.ods");
    }
    WindowDriver window({image});
    CDialogFileRecovery& dialog = window.Dialog();
    ASSERT_TRUE(window.SelectVolume(image));
    ASSERT_TRUE(window.SearchAndWait());
    ASSERT_TRUE(window.SelectFound({"Brief.odt", "Liste.ods"}));
    std::string out = dir.File("out");
    std::filesystem::create_directories(out);
    jextest::WriteFile(out + "/Brief.odt", {'m', 'i', 'n', 'e'});
    ASSERT_TRUE(window.RecoverAndWait(out));

    std::vector<std::string> statuses = Statuses(dialog);
    ASSERT_EQ(statuses.size(), 2u);
    EXPECT_EQ(statuses[0], Done() + " (Brief (1).odt)");
    EXPECT_EQ(statuses[1], Done());
    EXPECT_EQ(jextest::ReadText(out + "/Brief.odt"), "mine");
    EXPECT_EQ(jextest::ReadFile(out + "/Brief (1).odt"), jextest::Content(9000, 4));
    EXPECT_EQ(jextest::ReadFile(out + "/Liste.ods"), jextest::Content(300, 5));
    EXPECT_EQ(Messages(window), std::vector<std::string>{LanguageText(30).toStdString()});
}

TEST(RestoreFlow, RecoversPhotosFromAnExfatCardByCategory)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeExfatImage(dir, "sdxc.img", 16, 4096);
    std::map<std::string, std::vector<uint8_t>> files = {
        {"IMG_0001.JPG", jextest::Content(50000, 1)},
        {"IMG_0002.HEIC", jextest::Content(20000, 2)},
        {"Notiz.txt", jextest::Content(700, 3)},
    };
    jextest::ExfatImageEditor(image).PutDeletedFiles(files);
    WindowDriver window({image});
    CDialogFileRecovery& dialog = window.Dialog();
    ASSERT_TRUE(window.SelectVolume(image));
    window.Tick(124, true); // images
    ASSERT_TRUE(window.SearchAndWait());
    std::vector<std::vector<std::string>> rows = window.FoundRows();
    ASSERT_EQ(rows.size(), 2u);
    ASSERT_TRUE(window.SelectFound({"IMG_0001.JPG", "IMG_0002.HEIC"}));
    std::string out = dir.File("out");
    ASSERT_TRUE(window.RecoverAndWait(out));
    EXPECT_EQ(Statuses(dialog), (std::vector<std::string>{Done(), Done()}));
    EXPECT_EQ(jextest::ReadFile(out + "/IMG_0001.JPG"), files["IMG_0001.JPG"]);
    EXPECT_EQ(jextest::ReadFile(out + "/IMG_0002.HEIC"), files["IMG_0002.HEIC"]);
    EXPECT_FALSE(std::filesystem::exists(out + "/Notiz.txt"));
}

TEST(RestoreFlow, ShowsTotalsOfFourFilesAndAStopDuringTheLastFileStillEndsAsDone)
{
    jextest::TempDir dir;
    // Photos of 2 MiB and more: read in enough pieces for every percentage.
    Card card(dir, 2 << 20);
    WindowDriver window({card.image});
    CDialogFileRecovery& dialog = window.Dialog();
    ASSERT_TRUE(window.SelectVolume(card.image));
    window.Tick(124, true);
    ASSERT_TRUE(window.SearchAndWait());
    ASSERT_EQ(window.FoundRows().size(), 4u);
    List(dialog, 103)->selectAll();

    std::map<int, std::string> totalAtBegin;
    std::string totalAtHalfOfSecond;
    // Whole file percentage and total told during the second file.
    std::vector<std::pair<int, int>> second;
    std::vector<int> totals;
    QObject::connect(&dialog, &CDialogFileRecovery::RestoreBegun, [&](int i) {
        totalAtBegin[i] = window.TextOf(113).toStdString();
        if (i == 1) {
            // Half of the second file, as the worker would tell it.
            dialog.OnRestoreProgress(0.5);
            totalAtHalfOfSecond = window.TextOf(113).toStdString();
            dialog.OnRestoreProgress(0.0);
        }
        if (i == 3)
            qobject_cast<QPushButton*>(dialog.Control(111))->click();
    });
    QObject::connect(&dialog, &CDialogFileRecovery::RestoreProgressed, [&](double) {
        totals.push_back(qobject_cast<QProgressBar*>(dialog.Control(109))->value());
        if (totalAtBegin.size() == 2)
            second.emplace_back(window.TextOf(112).chopped(1).toInt(), window.TextOf(113).chopped(1).toInt());
    });
    ASSERT_TRUE(window.RecoverAndWait(dir.File("out")));

    EXPECT_EQ(totalAtBegin[0], "0%");
    EXPECT_EQ(totalAtBegin[1], "25%");
    EXPECT_EQ(totalAtHalfOfSecond, "37%");
    ASSERT_GE(second.size(), 3u);
    for (const auto& told : second)
        EXPECT_EQ(told.second, told.first / 4 + 25) << told.first;
    EXPECT_EQ(totalAtBegin[3], "75%");
    // Apart from the half told by hand, the total only grows.
    totals.erase(std::find(totals.begin(), totals.end(), 37));
    totals.erase(std::find(totals.begin(), totals.end(), 25));
    EXPECT_TRUE(std::is_sorted(totals.begin(), totals.end()));
    // The stop came during the last file: all is done, and said so once.
    EXPECT_EQ(Messages(window), std::vector<std::string>{LanguageText(30).toStdString()});
    EXPECT_EQ(dialog.windowTitle(), LanguageText(31));
    // One of the two photos named Strand.jpg went under another name.
    for (const std::string& status : Statuses(dialog))
        EXPECT_EQ(status.rfind(Done(), 0), 0u) << status;
    EXPECT_EQ(window.TextOf(113), QStringLiteral("100%"));
}

TEST(RestoreFlow, AStopBetweenTwoFilesEndsTheRestoreWithBackEnabled)
{
    jextest::TempDir dir;
    Card card(dir);
    WindowDriver window({card.image});
    CDialogFileRecovery& dialog = window.Dialog();
    ASSERT_TRUE(window.SelectVolume(card.image));
    ASSERT_TRUE(window.SearchAndWait());
    ASSERT_TRUE(window.SelectFound({"Berg.jpg", "Kuchen.jpg", "Notiz.txt"}));
    // Stop is pressed as the first file begins: it is restored, the next
    // is not begun.
    bool pressed = false;
    QObject::connect(&dialog, &CDialogFileRecovery::RestoreBegun, [&](int) {
        if (!std::exchange(pressed, true))
            qobject_cast<QPushButton*>(dialog.Control(111))->click();
    });
    std::string out = dir.File("out");
    ASSERT_TRUE(window.RecoverAndWait(out));

    EXPECT_EQ(dialog.CurrentPhase(), Phase::Restored);
    EXPECT_EQ(Messages(window), std::vector<std::string>{LanguageText(32).toStdString()});
    EXPECT_EQ(dialog.windowTitle(), LanguageText(31));
    EXPECT_TRUE(dialog.Control(110)->isEnabled());
    EXPECT_FALSE(dialog.Control(111)->isEnabled());
    std::vector<std::string> statuses = Statuses(dialog);
    ASSERT_EQ(statuses.size(), 3u);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), Done()), 1);
    EXPECT_EQ(std::count(statuses.begin(), statuses.end(), LanguageText(27).toStdString()), 2);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out), {}), 1);
}

TEST(RestoreFlow, ClosingDuringARestoreStopsItAndKeepsTheWindow)
{
    jextest::TempDir dir;
    Card card(dir, 3 << 20);
    WindowDriver window({card.image});
    CDialogFileRecovery& dialog = window.Dialog();
    dialog.show();
    ASSERT_TRUE(window.SelectVolume(card.image));
    ASSERT_TRUE(window.SearchAndWait());
    ASSERT_TRUE(window.SelectFound({"Berg.jpg", "Kuchen.jpg"}));
    bool closed = true;
    QObject::connect(&dialog, &CDialogFileRecovery::RestoreBegun, [&](int i) {
        if (i == 0)
            closed = dialog.close();
    });
    std::string out = dir.File("out");
    ASSERT_TRUE(window.RecoverAndWait(out));

    EXPECT_FALSE(closed);
    EXPECT_TRUE(dialog.isVisible());
    // The file in progress came back whole; the next one was not begun.
    std::vector<std::string> expected{LanguageText(33).toStdString(), LanguageText(32).toStdString()};
    EXPECT_EQ(Messages(window), expected);
    EXPECT_EQ(jextest::ReadFile(out + "/Berg.jpg"), card.contents["/Urlaub/Berg.jpg"]);
    EXPECT_FALSE(std::filesystem::exists(out + "/Kuchen.jpg"));
    // Once the restore has ended the window closes.
    EXPECT_TRUE(dialog.close());
    EXPECT_FALSE(dialog.isVisible());
}

TEST(RestoreFlow, ClosingWithResultsShownEndsTheWaitingWorker)
{
    jextest::TempDir dir;
    Card card(dir);
    WindowDriver window({card.image});
    CDialogFileRecovery& dialog = window.Dialog();
    dialog.show();
    ASSERT_TRUE(window.SelectVolume(card.image));
    ASSERT_TRUE(window.SearchAndWait());
    ASSERT_TRUE(dialog.Worker().Running());
    EXPECT_TRUE(dialog.close());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_FALSE(dialog.Worker().Running());
    EXPECT_TRUE(window.messages.shown.empty());
}

TEST(RestoreFlow, SortingAndNarrowingRestoreExactlyTheChosenRows)
{
    jextest::TempDir dir;
    Card card(dir);
    WindowDriver window({card.image});
    CDialogFileRecovery& dialog = window.Dialog();
    ASSERT_TRUE(window.SelectVolume(card.image));
    ASSERT_TRUE(window.SearchAndWait());
    ASSERT_EQ(window.FoundRows().size(), 5u);

    // Largest first: sizes compare as numbers, not as texts.
    dialog.SortFoundList(1, Qt::DescendingOrder);
    std::vector<std::vector<std::string>> rows = window.FoundRows();
    EXPECT_EQ(rows.front()[0], "Kuchen.jpg");
    EXPECT_EQ(rows.back()[0], "Notiz.txt");
    // The note is chosen, then narrowed out of sight: it is no longer chosen.
    ASSERT_TRUE(window.SelectFound({"Notiz.txt"}));
    dialog.NarrowFoundList(QStringLiteral("STRAND"));
    rows = window.FoundRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_FALSE(dialog.Control(104)->isEnabled());
    dialog.NarrowFoundList(QStringLiteral("feier"));
    ASSERT_EQ(window.FoundRows().size(), 2u);
    List(dialog, 103)->selectAll();
    std::vector<uint32_t> chosen = dialog.ShownRowPositions();
    ASSERT_EQ(chosen.size(), 2u);
    std::set<std::string> chosenPaths;
    for (uint32_t position : chosen)
        chosenPaths.insert(FoundPath(dialog, position));
    EXPECT_EQ(chosenPaths, (std::set<std::string>{"/Feier/Strand.jpg", "/Feier/Kuchen.jpg"}));

    std::string out = dir.File("out");
    ASSERT_TRUE(window.RecoverAndWait(out));
    EXPECT_EQ(dialog.RestorePositions(), chosen);
    std::set<std::string> restored;
    for (size_t i = 0; i < chosen.size(); ++i) {
        CZelRestoreOutcome outcome = dialog.Worker().Outcome(i);
        EXPECT_EQ(outcome.result, ZelRestoreResult::Restored) << outcome.reason;
        std::string path = outcome.source.substr(outcome.source.find('/'));
        restored.insert(path);
        EXPECT_EQ(jextest::ReadFile(outcome.destination), card.contents[path]);
    }
    EXPECT_EQ(restored, chosenPaths);
}

TEST(RestoreFlow, WantsADestinationAndTellsWhatFailed)
{
    jextest::TempDir dir;
    Card card(dir);
    WindowDriver window({card.image});
    CDialogFileRecovery& dialog = window.Dialog();
    ASSERT_TRUE(window.SelectVolume(card.image));
    ASSERT_TRUE(window.SearchAndWait());
    ASSERT_TRUE(window.SelectFound({"Berg.jpg", "Notiz.txt"}));

    // No folder chosen: said so, and the results stay.
    qobject_cast<QPushButton*>(dialog.Control(104))->click();
    EXPECT_EQ(dialog.CurrentPhase(), Phase::Results);
    EXPECT_EQ(Messages(window), std::vector<std::string>{LanguageText(36).toStdString()});

    // A destination that is a file: nothing can be written, and each row and
    // the last message say so.
    std::string blocked = dir.File("blocked");
    jextest::WriteFile(blocked, {'x'});
    window.messages.shown.clear();
    ASSERT_TRUE(window.RecoverAndWait(blocked));
    std::vector<std::string> statuses = Statuses(dialog);
    ASSERT_EQ(statuses.size(), 2u);
    for (const std::string& status : statuses)
        EXPECT_EQ(status.rfind(LanguageText(38).toStdString() + " ", 0), 0u) << status;
    ASSERT_EQ(window.messages.shown.size(), 1u);
    EXPECT_EQ(window.messages.shown[0].text, LanguageText(39).arg(0).arg(2).toStdString());
    EXPECT_EQ(jextest::ReadText(blocked), "x");
}
