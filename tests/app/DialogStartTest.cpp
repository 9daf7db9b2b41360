// The window's start: binding the libraries beside the program, reading the
// data files and choosing the language.
#include "DialogFileRecovery.h"
#include "LanguageTable.h"
#include "ProgramFolder.h"
#include "jexcommon/ZelVersion.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QThread>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <thread>

#include <sys/wait.h>

using apptest::MessageRecorder;
using apptest::ProgramFolder;

namespace {

// The English caption and German text 0 of the build's "Lang.vrl".
const QString kEnglishCaption = QStringLiteral("Choose the volume to search");

QString VersionText(const CDialogFileRecovery& dialog)
{
    for (QLabel* label : dialog.findChildren<QLabel*>())
        if (label->property("controlId").toInt() == 119)
            return label->text();
    return QString();
}

} // namespace

TEST(DialogStart, ComesUpWithTheCaptionAndVersionOfAnInstalledFolder)
{
    ProgramFolder folder;
    MessageRecorder messages;
    CDialogFileRecovery dialog(folder.Path());
    ASSERT_TRUE(dialog.Bound());
    ASSERT_TRUE(dialog.InitDialog());
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_TRUE(dialog.HasRunTimeControls());
    EXPECT_EQ(dialog.windowTitle(), kEnglishCaption);
    EXPECT_EQ(VersionText(dialog), QStringLiteral("Version " ZEL_VERSION_TEXT));
    EXPECT_STREQ(ZEL_VERSION_TEXT, "1.2.7");
    ASSERT_TRUE(dialog.Params());
    // The category lists of "Params.vrl": documents first, "doc" leading.
    EXPECT_GT(dialog.Params()->GetListCount(1), 10);
    std::u16string first;
    bool found = false;
    EXPECT_EQ(dialog.Params()->GetListString(1, 0, first, found), S_OK);
    EXPECT_TRUE(found);
    EXPECT_EQ(first, u"doc");
}

// Each library and data file missing in turn: the failure message once,
// then no window to work with.
TEST(DialogStart, AMissingPartShowsTheFailureMessageOnce)
{
    for (const std::string missing : {"libJexFSCore.so", "libJexVars.so", "Lang.vrl", "Params.vrl"}) {
        SCOPED_TRACE(missing);
        ProgramFolder folder({missing});
        MessageRecorder messages;
        CDialogFileRecovery dialog(folder.Path());
        bool started = dialog.Bound() && dialog.InitDialog();
        EXPECT_FALSE(started);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, "Please, reinstall Jex File Recovery");
        EXPECT_EQ(messages.shown[0].caption, "Jex File Recovery");
        EXPECT_EQ(messages.shown[0].icon, QMessageBox::Critical);
        EXPECT_FALSE(dialog.HasRunTimeControls());
        // The core is bound exactly when its library is there.
        EXPECT_EQ(dialog.Bound(), missing != "libJexFSCore.so");
    }
}

TEST(DialogStart, AFileThatIsNoStoreShowsTheFailureMessage)
{
    ProgramFolder folder({"Params.vrl"});
    jextest::WriteFile(folder.File("Params.vrl"), {'n', 'o', 't', ' ', 'v', 'r', 'l'});
    MessageRecorder messages;
    CDialogFileRecovery dialog(folder.Path());
    ASSERT_TRUE(dialog.Bound());
    EXPECT_FALSE(dialog.InitDialog());
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_FALSE(dialog.HasRunTimeControls());
}

TEST(DialogStart, TheLanguageOfTheParametersIsChosen)
{
    ProgramFolder folder;
    folder.WriteVrl("Params.vrl", {{"German"}, {"doc", "txt"}, {"mp3", "ogg"}, {"jpg", "png"}, {"mp4", "avi"}});
    MessageRecorder messages;
    CDialogFileRecovery dialog(folder.Path());
    ASSERT_TRUE(dialog.Bound());
    ASSERT_TRUE(dialog.InitDialog());
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Laufwerk für die Suche wählen"));
    EXPECT_EQ(VersionText(dialog).right(5), QStringLiteral(ZEL_VERSION_TEXT));
    EXPECT_EQ(dialog.Params()->GetListCount(3), 2);
    EXPECT_TRUE(messages.shown.empty());
}

// Names are compared exactly: "german" is no language, and the first one
// is used.
TEST(DialogStart, ALanguageNameDifferingInCaseIsNotChosen)
{
    ProgramFolder folder;
    folder.WriteVrl("Params.vrl", {{"german"}, {"doc", "txt"}, {"mp3", "ogg"}, {"jpg", "png"}, {"mp4", "avi"}});
    folder.WriteVrl("Lang.vrl", {{"Tester"}, {"Test caption", "one"}, {"German"}, {"Deutsche Titel", "eins"}});
    MessageRecorder messages;
    CDialogFileRecovery dialog(folder.Path());
    ASSERT_TRUE(dialog.Bound());
    ASSERT_TRUE(dialog.InitDialog());
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Test caption"));
    EXPECT_NE(SelectLanguage(u"GERMAN"), S_OK);
    EXPECT_EQ(GetText(0), u"Test caption");
    EXPECT_EQ(SelectLanguage(u"German"), S_OK);
    EXPECT_EQ(GetText(1), u"eins");
}

// The program finds its libraries and data files beside itself, whichever
// folder it is started from: it comes up and stays up (it is ended here
// after some seconds) instead of ending with the failure message.
TEST(ProgramStart, StartsFromAnotherWorkingFolder)
{
    ProgramFolder folder;
    std::error_code failed;
    std::filesystem::copy_file(std::string(JEX_BIN_DIR) + "/JexFileRecovery", folder.File("JexFileRecovery"), failed);
    ASSERT_FALSE(failed) << failed.message();
    jextest::TempDir elsewhere;
    std::string command = "cd " + jextest::Quote(elsewhere.Path()) +
                          " && QT_QPA_PLATFORM=offscreen timeout 4 " + jextest::Quote(folder.File("JexFileRecovery")) +
                          " >" + jextest::Quote(elsewhere.File("out")) + " 2>&1";
    int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    // 124: still running when timeout ended it.
    EXPECT_EQ(WEXITSTATUS(status), 124) << jextest::ReadText(elsewhere.File("out"));
}

// The core reports trouble from whatever thread it runs on; the window shows
// it on its own thread.
TEST(DialogStart, TheCoresMessagesAreShownOnTheWindowsThread)
{
    ProgramFolder folder;
    MessageRecorder messages;
    std::vector<QThread*> shownOn;
    ZelSetMessagePresenter([&](QWidget*, const QString& text, const QString& caption, QMessageBox::Icon icon) {
        messages.shown.push_back({text.toStdString(), caption.toStdString(), icon});
        shownOn.push_back(QThread::currentThread());
    });
    CDialogFileRecovery dialog(folder.Path());
    ASSERT_TRUE(dialog.Bound());
    ASSERT_TRUE(dialog.InitDialog());
    std::thread caller([&] { dialog.FileSystemCreator()->CreateFileSystem(L"/nonexistent/volume"); });
    caller.join();
    // Queued, not shown on the core's thread.
    EXPECT_TRUE(messages.shown.empty());
    QElapsedTimer clock;
    clock.start();
    while (messages.shown.empty() && clock.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].text.find("/nonexistent/volume"), std::string::npos) << messages.shown[0].text;
    EXPECT_FALSE(messages.shown[0].caption.empty());
    EXPECT_EQ(shownOn[0], dialog.thread());
}
