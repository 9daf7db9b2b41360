// The window's list of found files on cards made at test time: what the
// filter options list, estimates, the preview, the window grown, image
// files added, and what the window says of a search that went wrong.
#include "DialogPreview.h"
#include "WindowDriver.h"
#include "support/MediaFiles.h"
#include "support/MtoolsImage.h"
#include "support/TestImages.h"

#include <QBuffer>
#include <QComboBox>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <boost/make_shared.hpp>

#include <filesystem>
#include <set>

using apptest::LanguageText;
using apptest::WindowDriver;
using Phase = CDialogFileRecovery::Phase;

namespace {

// A FAT32 card with deleted files of several kinds: a picture written by
// Qt, a song, a note in UTF-8, an empty note, a film, and an archive whose
// clusters a newer file took after it was deleted.
struct Card {
    Card()
    {
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(QColor(200, 30, 40));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        EXPECT_TRUE(picture.save(&buffer, "PNG"));
        const std::string note = "Grüße vom Strand\nZeile zwei\n";
        noteText = QString::fromStdString(note);
        card.Folder("Alt");
        card.Put("Alt/Alt.zip", jextest::Content(40000, 7));
        card.Delete("Alt/Alt.zip");
        card.ForgetNextFree();
        card.Put("Neu.dat", jextest::Content(40000, 8));
        card.Put("Bild.png", std::vector<uint8_t>(png.begin(), png.end()));
        card.Put("Notiz.txt", std::vector<uint8_t>(note.begin(), note.end()));
        card.Put("Leer.txt", {});
        card.Put("Lied.mp3", jextest::Content(2000, 5));
        card.Put("Film.mkv", jextest::Content(9000, 6));
        for (const char* name : {"Bild.png", "Notiz.txt", "Leer.txt", "Lied.mp3", "Film.mkv"})
            card.Delete(name);
        image = card.image;
    }
    jextest::MtoolsImage card{512, 1, 34000};
    std::string image;
    QString noteText;
};

std::set<std::string> Names(const WindowDriver& window)
{
    std::set<std::string> names;
    for (const auto& row : window.FoundRows())
        names.insert(row[0]);
    return names;
}

// A file-system factory that hands out the core's objects, whose searches
// say they could not read some stretches of the volume.
class UnreadableFileSystem : public CZelFileSystem {
public:
    explicit UnreadableFileSystem(boost::shared_ptr<CZelFileSystem> real) : m_Real(std::move(real)) {}
    ZELRESULT Open(const wchar_t* volume, uint32_t sector) override { return m_Real->Open(volume, sector); }
    void Close() override { m_Real->Close(); }
    ZELRESULT FindDeleted(const wchar_t* v, int32_t f, boost::shared_ptr<CZelCheckFile> c) override
    {
        return m_Real->FindDeleted(v, f, c);
    }
    boost::shared_ptr<CZelEntityIterator> GetIterator() override { return m_Real->GetIterator(); }
    boost::shared_ptr<CZelEntityIterator> GetIteratorEx1() override { return m_Real->GetIteratorEx1(); }
    boost::shared_ptr<CZelEntityIterator> GetIteratorEx2() override { return m_Real->GetIteratorEx2(); }
    boost::shared_ptr<CZelEntityIterator> GetIteratorEx3() override { return m_Real->GetIteratorEx3(); }
    double GetProgress() override { return m_Real->GetProgress(); }
    std::wstring GetName() override { return m_Real->GetName(); }
    ZELRESULT FindDeletedEx(const wchar_t* v, int32_t f, boost::shared_ptr<CZelCheckFile> c,
                            CZelScanReport& report) override
    {
        ZELRESULT result = m_Real->FindDeletedEx(v, f, c, report);
        report.unreadableStretches += 3;
        report.unreadableBytes += 3 * 4096;
        return result;
    }

private:
    boost::shared_ptr<CZelFileSystem> m_Real;
};

class UnreadableCreator : public CZelFileSystemCreator {
public:
    explicit UnreadableCreator(boost::shared_ptr<CZelFileSystemCreator> real) : m_Real(std::move(real)) {}
    boost::shared_ptr<CZelFileSystemFAT32> CreateFAT32() override { return m_Real->CreateFAT32(); }
    boost::shared_ptr<CZelFileSystemNTFS> CreateNTFS() override { return m_Real->CreateNTFS(); }
    boost::shared_ptr<CZelFileSystem> CreateFileSystem(const wchar_t* volume) override
    {
        return m_Real->CreateFileSystem(volume);
    }
    boost::shared_ptr<CZelFileSystem> CreateFileSystemEx(const wchar_t* volume, std::wstring& reason) override
    {
        boost::shared_ptr<CZelFileSystem> real = m_Real->CreateFileSystemEx(volume, reason);
        return real ? boost::make_shared<UnreadableFileSystem>(real) : real;
    }

private:
    boost::shared_ptr<CZelFileSystemCreator> m_Real;
};

void SetSize(WindowDriver& window, const char* comparison, const char* value, const char* unit)
{
    CDialogFileRecovery& dialog = window.Dialog();
    window.Tick(128, true);
    qobject_cast<QComboBox*>(dialog.Control(1009))->setCurrentText(QString::fromLatin1(comparison));
    qobject_cast<QLineEdit*>(dialog.Control(1008))->setText(QString::fromLatin1(value));
    qobject_cast<QComboBox*>(dialog.Control(1010))->setCurrentText(QString::fromLatin1(unit));
}

} // namespace

TEST(FoundList, TickedCategoriesListFilesOfAnyAndASizeOfNoughtListsEmptyFiles)
{
    Card card;
    WindowDriver window({card.image});
    CDialogFileRecovery& dialog = window.Dialog();
    const std::vector<std::pair<std::function<void()>, std::set<std::string>>> searches{
        // Audio and images: the song and the picture, not the one or the
        // other only.
        {[&] { window.Tick(122, true), window.Tick(124, true); }, {"Bild.png", "Lied.mp3"}},
        // Images and an own extension.
        {[&] {
             window.Tick(124, true), window.Tick(126, true);
             qobject_cast<QLineEdit*>(dialog.Control(1006))->setText(QStringLiteral("mkv"));
         },
         {"Bild.png", "Film.mkv"}},
        // "= 0 KB": every file below one kilobyte, the empty one included.
        {[&] { SetSize(window, "=", "0", "KB"); }, {"Leer.txt", "Notiz.txt", "Bild.png"}},
        // "< 2 KB" of documents: the notes, empty or not.
        {[&] { window.Tick(125, true), SetSize(window, "<", "2", "KB"); }, {"Leer.txt", "Notiz.txt"}},
    };
    for (const auto& search : searches) {
        ASSERT_TRUE(window.SelectVolume(card.image));
        search.first();
        ASSERT_TRUE(window.SearchAndWait());
        std::set<std::string> names = Names(window);
        EXPECT_EQ(names, search.second);
        qobject_cast<QPushButton*>(dialog.Control(120))->click();
    }
    EXPECT_TRUE(window.messages.shown.empty());
}

// The card searched in the window, every file listed.
class SearchedCard : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(window.SelectVolume(card.image));
        ASSERT_TRUE(window.SearchAndWait());
    }
    Card card;
    WindowDriver window{{card.image}};
    CDialogFileRecovery& dialog = window.Dialog();
};

TEST_F(SearchedCard, EstimatesShowSortAsNumbersAndGiveTheEnginesReason)
{
    auto* list = qobject_cast<QTreeWidget*>(dialog.Control(103));
    EXPECT_EQ(list->headerItem()->text(CDialogFileRecovery::kEstimateColumn), LanguageText(43));
    dialog.SortFoundList(CDialogFileRecovery::kEstimateColumn, Qt::AscendingOrder);
    std::vector<std::vector<std::string>> rows = window.FoundRows();
    ASSERT_EQ(rows.size(), 6u);
    // The archive lost its clusters to the new file; the others are whole.
    EXPECT_EQ(rows.front()[0], "Alt.zip");
    EXPECT_EQ(rows.front()[3], "0% " + LanguageText(46).toStdString());
    for (size_t i = 1; i < rows.size(); ++i)
        EXPECT_EQ(rows[i][3], "100% " + LanguageText(44).toStdString()) << rows[i][0];
    // The tooltip says why, as the engine does.
    QTreeWidgetItem* lost = list->topLevelItem(0);
    EXPECT_GT(lost->toolTip(CDialogFileRecovery::kEstimateColumn).count(QLatin1Char('\n')), 0)
        << lost->toolTip(CDialogFileRecovery::kEstimateColumn).toStdString();
    EXPECT_EQ(ZelEstimateText(-1), LanguageText(47));
    EXPECT_EQ(ZelEstimateText(60), QStringLiteral("60% ") + LanguageText(45));
}

TEST_F(SearchedCard, ThePreviewShowsPicturesTextAndWhatItCannotShowWithoutWritingAFile)
{
    auto* preview = qobject_cast<QPushButton*>(dialog.Control(CDialogFileRecovery::kPreviewId));
    ASSERT_NE(preview, nullptr);
    EXPECT_TRUE(preview->isVisibleTo(&dialog));
    EXPECT_FALSE(preview->isEnabled());
    const size_t filesBefore = std::distance(std::filesystem::recursive_directory_iterator(card.card.dir.Path()),
                                             std::filesystem::recursive_directory_iterator());

    ASSERT_TRUE(window.SelectFound({"Bild.png"}));
    ASSERT_TRUE(preview->isEnabled());
    preview->click();
    CDialogPreview* shown = dialog.Preview();
    ASSERT_NE(shown, nullptr);
    auto settled = [&] { return shown->What() != CDialogPreview::Showing::Reading && !shown->Busy(); };
    ASSERT_TRUE(window.WaitUntil(settled));
    ASSERT_EQ(shown->What(), CDialogPreview::Showing::Image);
    EXPECT_EQ(shown->Image().size(), QSize(40, 30));
    EXPECT_EQ(shown->Image().pixelColor(5, 5), QColor(200, 30, 40));
    EXPECT_EQ(shown->Note(), QString());

    // The preview follows the choice: text as text.
    ASSERT_TRUE(window.SelectFound({"Notiz.txt"}));
    ASSERT_TRUE(window.WaitUntil(settled));
    ASSERT_EQ(shown->What(), CDialogPreview::Showing::Text);
    EXPECT_EQ(shown->Text(), card.noteText);

    // A file that would not come back whole says so.
    ASSERT_TRUE(window.SelectFound({"Alt.zip"}));
    ASSERT_TRUE(window.WaitUntil(settled));
    EXPECT_EQ(shown->What(), CDialogPreview::Showing::Details);
    EXPECT_TRUE(shown->Note().startsWith(LanguageText(58).section(QLatin1Char('%'), 0, 0).trimmed()))
        << shown->Note().toStdString();
    EXPECT_NE(shown->Text().indexOf(QStringLiteral("39,06 KB")), -1) << shown->Text().toStdString();

    // Two files chosen: nothing to show.
    ASSERT_TRUE(window.SelectFound({"Alt.zip", "Lied.mp3"}));
    EXPECT_EQ(shown->What(), CDialogPreview::Showing::Nothing);
    EXPECT_FALSE(preview->isEnabled());
    EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(card.card.dir.Path()),
                            std::filesystem::recursive_directory_iterator()),
              static_cast<std::ptrdiff_t>(filesBefore));

    // A new search puts the preview away.
    qobject_cast<QPushButton*>(dialog.Control(120))->click();
    EXPECT_FALSE(shown->isVisible());
}

TEST(FoundList, TheWindowGrowsAndTakesImageFilesAndSaysWhatWentWrong)
{
    Card card;
    WindowDriver window({});
    CDialogFileRecovery& dialog = window.Dialog();
    // An image added from the window is listed and chosen.
    dialog.AddImageFile(QString::fromStdString(card.image));
    auto* volumes = qobject_cast<QTreeWidget*>(dialog.Control(100));
    ASSERT_NE(volumes->currentItem(), nullptr);
    EXPECT_EQ(volumes->currentItem()->text(0).toStdString(), card.image);
    EXPECT_TRUE(dialog.Control(101)->isEnabled());
    const int rows = volumes->topLevelItemCount();
    dialog.AddImageFile(QString::fromStdString(card.image));
    EXPECT_EQ(volumes->topLevelItemCount(), rows);

    // The smallest size is the layout's; grown, the lists take the room and
    // the buttons move along.
    EXPECT_EQ(dialog.minimumSize(), QSize(618, 413));
    dialog.show();
    dialog.resize(900, 600);
    ASSERT_TRUE(window.WaitUntil([&] { return dialog.width() == 900; }));
    EXPECT_EQ(volumes->geometry(), QRect(0, 0, 900, 387));
    EXPECT_EQ(dialog.Control(101)->geometry(), QRect(722, 512, 175, 55));
    EXPECT_EQ(dialog.Control(121)->geometry().topLeft(), QPoint(10, 397));

    // Searched, the path column takes what the window gained; the search
    // could not read everything, and the window says so.
    dialog.UseFileSystemCreator(boost::make_shared<UnreadableCreator>(dialog.FileSystemCreator()));
    ASSERT_TRUE(window.SearchAndWait());
    auto* found = qobject_cast<QTreeWidget*>(dialog.Control(103));
    EXPECT_EQ(found->width(), 900);
    EXPECT_GT(found->header()->sectionSize(CDialogFileRecovery::kPathColumn), 500);
    ASSERT_EQ(window.messages.shown.size(), 1u);
    EXPECT_EQ(window.messages.shown[0].text,
              LanguageText(48).arg(3).arg(QStringLiteral("0,01 MB (12,00 KB)")).toStdString());
    qobject_cast<QPushButton*>(dialog.Control(120))->click();

    // A volume gone between the choice and the search: the reason comes in
    // the language's words.
    ASSERT_TRUE(window.SelectVolume(card.image));
    std::filesystem::remove(card.image);
    ASSERT_TRUE(window.SearchAndWait());
    ASSERT_EQ(window.messages.shown.size(), 2u);
    const QString error = QString::fromStdString(window.messages.shown[1].text);
    EXPECT_TRUE(error.startsWith(LanguageText(49).section(QStringLiteral("%1"), 0, 0))) << error.toStdString();
    EXPECT_NE(error.indexOf(QString::fromStdString(card.image)), -1) << error.toStdString();
}

TEST(FoundList, AFormattedCardGivesItsPhotosToADeepSearchOnly)
{
    // Photos in a folder, then the card formatted in place: mkfs.fat writes
    // the boot region, empty tables and an empty root; the data stays.
    jextest::MtoolsImage card{512, 1, 34000};
    card.Folder("DCIM");
    card.Put("DCIM/Urlaub am Meer.jpg", jextest::Content(6000, 1));
    card.Put("DCIM/Geburtstag.jpg", jextest::Content(9000, 2));
    ASSERT_EQ(jextest::Run("mkfs.fat -F 32 -S 512 -s 1 " + jextest::Quote(card.image) + " >/dev/null"), 0);
    WindowDriver window{{card.image}};
    CDialogFileRecovery& dialog = window.Dialog();
    ASSERT_TRUE(window.SelectVolume(card.image));
    ASSERT_TRUE(window.SearchAndWait());
    EXPECT_TRUE(Names(window).empty());
    qobject_cast<QPushButton*>(dialog.Control(120))->click();
    ASSERT_TRUE(window.SelectVolume(card.image));
    window.Tick(CDialogFileRecovery::kDeepSearchId, true);
    ASSERT_TRUE(window.SearchAndWait());
    EXPECT_EQ(Names(window), (std::set<std::string>{"Urlaub am Meer.jpg", "Geburtstag.jpg"}));
}

TEST(FoundList, ACardWithNoFileSystemListsWhatTheSignaturesFind)
{
    jextest::TempDir dir;
    std::string reason;
    const auto media = jextest::MakeMediaFiles(dir, reason);
    if (media.empty())
        GTEST_SKIP() << reason;
    std::vector<uint8_t> card(8192, 0);
    const auto& photo = media.at("photo.jpg");
    card.insert(card.end(), photo.begin(), photo.end());
    card.resize(card.size() + 65536, 0);
    jextest::WriteFile(dir.File("card.img"), card);
    WindowDriver window{{dir.File("card.img")}};
    ASSERT_TRUE(window.SelectVolume(dir.File("card.img")));
    window.Tick(CDialogFileRecovery::kDeepSearchId, true);
    ASSERT_TRUE(window.SearchAndWait());
    EXPECT_EQ(Names(window), (std::set<std::string>{"f0000008192.jpg"}));
}
