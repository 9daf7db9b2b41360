// The main window before a restore: the controls of each phase, the volume
// list and its live changes, the size texts, the filter group made from the
// options, the keyboard, and the hint for volumes that cannot be searched.
#include "SizeTexts.h"
#include "VolumePermission.h"
#include "WindowDriver.h"
#include "support/TestImages.h"
#include "support/WholeDisk.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>

#include <boost/any.hpp>
#include <boost/make_shared.hpp>

#include <sstream>

#include <sys/wait.h>
#include <unistd.h>

using apptest::LanguageText;
using apptest::WindowDriver;
using Phase = CDialogFileRecovery::Phase;

namespace {

// A FAT32 card with a deleted photo and a deleted note, made with mtools.
std::string SmallCard(const jextest::TempDir& dir)
{
    std::string image = jextest::MakeFatImage(dir, "card.img", 32, 34000);
    jextest::WriteFile(dir.File("p.jpg"), jextest::Content(3000, 7));
    jextest::WriteFile(dir.File("n.txt"), jextest::Content(100, 8));
    std::string mtools = "MTOOLS_SKIP_CHECK=1 ";
    std::string i = " -i " + jextest::Quote(image) + " ";
    EXPECT_EQ(jextest::Run(mtools + "mcopy" + i + jextest::Quote(dir.File("p.jpg")) + " ::/Foto.jpg"), 0);
    EXPECT_EQ(jextest::Run(mtools + "mcopy" + i + jextest::Quote(dir.File("n.txt")) + " ::/Notiz.txt"), 0);
    EXPECT_EQ(jextest::Run(mtools + "mdel" + i + "::/Foto.jpg ::/Notiz.txt"), 0);
    return image;
}

// A volume of the injected list.
class FakeVolume : public CZelVolumeInfo {
public:
    FakeVolume(std::wstring root, uint64_t size, std::wstring fileSystem)
        : m_Root(std::move(root)), m_Size(size), m_FileSystem(std::move(fileSystem))
    {
    }
    const std::wstring& GetRootPath() override { return m_Root; }
    uint64_t GetSize() override { return m_Size; }
    const std::wstring& GetFileSystemName() override { return m_FileSystem; }

private:
    std::wstring m_Root;
    uint64_t m_Size;
    std::wstring m_FileSystem;
};

class FakeIterator : public CZelVolumeInfoIterator {
public:
    explicit FakeIterator(std::vector<boost::shared_ptr<CZelVolumeInfo>> items) : m_Items(std::move(items)) {}
    void First() override { m_At = 0; }
    void Next() override { ++m_At; }
    bool IsDone() override { return m_At >= m_Items.size(); }
    boost::shared_ptr<CZelVolumeInfo> CurrentItem() override
    {
        return m_At < m_Items.size() ? m_Items[m_At] : nullptr;
    }

private:
    std::vector<boost::shared_ptr<CZelVolumeInfo>> m_Items;
    size_t m_At = 0;
};

// Volumes that come and go when the test says so, kept in name order as
// the core keeps them; the arrival and removal are told as the core tells
// them (a removal carries only the root path).
class FakeVolumes : public CZelVolumeEnum {
public:
    boost::shared_ptr<CZelVolumeInfoIterator> GetVolumeInfoIterator() override
    {
        return boost::make_shared<FakeIterator>(m_Volumes);
    }
    void SetOnVolumeArrival(boost::shared_ptr<CZelVolumeCallback> callback) override { m_Arrival = callback; }
    void SetOnVolumeRemoval(boost::shared_ptr<CZelVolumeCallback> callback) override { m_Removal = callback; }
    int GetNotificationHandle() override { return -1; }
    void ProcessNotifications() override {}

    void Arrive(const std::wstring& root, uint64_t size, const std::wstring& fileSystem)
    {
        auto volume = boost::make_shared<FakeVolume>(root, size, fileSystem);
        auto at = std::find_if(m_Volumes.begin(), m_Volumes.end(),
                               [&](const boost::shared_ptr<CZelVolumeInfo>& v) { return v->GetRootPath() > root; });
        m_Volumes.insert(at, volume);
        if (m_Arrival)
            m_Arrival->Fire(volume);
    }
    void Remove(const std::wstring& root)
    {
        m_Volumes.erase(std::remove_if(m_Volumes.begin(), m_Volumes.end(),
                                       [&](const boost::shared_ptr<CZelVolumeInfo>& v) {
                                           return v->GetRootPath() == root;
                                       }),
                        m_Volumes.end());
        if (m_Removal)
            m_Removal->Fire(boost::make_shared<FakeVolume>(root, 0, L""));
    }

private:
    std::vector<boost::shared_ptr<CZelVolumeInfo>> m_Volumes;
    boost::shared_ptr<CZelVolumeCallback> m_Arrival;
    boost::shared_ptr<CZelVolumeCallback> m_Removal;
};

std::vector<std::string> VolumeRows(const CDialogFileRecovery& dialog)
{
    std::vector<std::string> rows;
    auto* list = qobject_cast<QTreeWidget*>(dialog.Control(100));
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list->topLevelItem(i);
        rows.push_back((item->text(0) + QLatin1Char('|') + item->text(1) + QLatin1Char('|') + item->text(2))
                           .toStdString());
    }
    return rows;
}

// A filter description that writes down what it was given.
class RecordedCheck : public CZelCheckFile {
public:
    explicit RecordedCheck(uint32_t type) : m_Type(type) {}
    void SetParam(const wchar_t* name, boost::any value) override
    {
        std::wstring key(name);
        std::ostringstream out;
        if (const wchar_t* const* text = boost::any_cast<const wchar_t*>(&value))
            out << '"' << QString::fromWCharArray(*text).toStdString() << '"';
        else if (const uint64_t* number = boost::any_cast<uint64_t>(&value))
            out << *number;
        else if (const auto* member = boost::any_cast<boost::shared_ptr<CZelCheckFile>>(&value))
            out << static_cast<RecordedCheck&>(**member).Describe();
        else
            out << "?";
        m_Params.push_back(QString::fromStdWString(key).toStdString() + "=" + out.str());
    }
    boost::shared_ptr<boost::any> GetParam(const wchar_t*) override { return nullptr; }

    std::string Describe() const
    {
        static const char* const names[] = {"and", "ext", "list", "range"};
        std::string text = std::string(m_Type < 4 ? names[m_Type] : "?") + "(";
        for (size_t i = 0; i < m_Params.size(); ++i)
            text += (i != 0 ? "," : "") + m_Params[i];
        return text + ")";
    }

private:
    uint32_t m_Type;
    std::vector<std::string> m_Params;
};

class RecordingCreator : public CZelCheckFileCreator {
public:
    boost::shared_ptr<CZelCheckFile> CreateCheckFile(uint32_t type) override
    {
        return boost::make_shared<RecordedCheck>(type);
    }
};

} // namespace

TEST(SizeTexts, WholeUnitsACommaAndTruncatedHundredths)
{
    EXPECT_EQ(ZelVolumeSizeText(0).toStdString(), "0,00 GB (0,00 MB)");
    EXPECT_EQ(ZelVolumeSizeText(512ull << 20).toStdString(), "0,50 GB (512,00 MB)");
    // 1.999 GB is not rounded up to 2.
    EXPECT_EQ(ZelVolumeSizeText((2ull << 30) - 1).toStdString(), "1,99 GB (2047,99 MB)");
    EXPECT_EQ(ZelFileSizeText(512).toStdString(), "0,00 MB (0,50 KB)");
    EXPECT_EQ(ZelFileSizeText(1536 * 1024 + 10).toStdString(), "1,50 MB (1536,00 KB)");
    // The largest size keeps its digits: no product overflows.
    EXPECT_EQ(ZelFileSizeText(UINT64_MAX).toStdString(),
              "17592186044415,99 MB (18014398509481983,99 KB)");
}

TEST(MainWindow, ShowsTheControlsOfEachPhaseUpToTheResults)
{
    jextest::TempDir dir;
    std::string card = SmallCard(dir);
    std::string junk = dir.File("junk.bin");
    jextest::WriteFile(junk, jextest::Content(65536, 9));
    WindowDriver window({card, junk});
    CDialogFileRecovery& dialog = window.Dialog();
    ASSERT_TRUE(dialog.HasRunTimeControls());
    EXPECT_EQ(dialog.width(), 618);
    EXPECT_EQ(dialog.height(), 413);
    EXPECT_EQ(dialog.windowTitle(), LanguageText(0));
    // Every control of the layout, at its place.
    EXPECT_EQ(dialog.Control(100)->geometry(), QRect(0, 0, 618, 200));
    EXPECT_EQ(dialog.Control(101)->geometry(), QRect(440, 325, 175, 55));
    EXPECT_EQ(dialog.Control(CDialogFileRecovery::kDeepSearchId)->geometry(), QRect(442, 298, 173, 22));
    EXPECT_EQ(dialog.Control(1010)->geometry(), QRect(310, 334, 50, 20));
    // The hint leaves room below it for the button that adds image files.
    EXPECT_EQ(dialog.Hint()->geometry(), QRect(440, 210, 175, 52));
    EXPECT_EQ(dialog.Control(CDialogFileRecovery::kAddImageId)->geometry(), QRect(440, 266, 175, 28));
    for (int id : {100, 101, 102, 103, 104, 105, 106, 107, 108, 109, 110, 111, 112, 113, 116, 117, 118, 119, 120, 121,
                   122, 123, 124, 125, 126, 127, 128, 129, 1004, 1006, 1008, 1009, 1010})
        EXPECT_NE(dialog.Control(id), nullptr) << id;
    EXPECT_EQ(window.TextOf(119), LanguageText(14) + QStringLiteral("1.2.7"));
    EXPECT_EQ(dialog.Control(119)->palette().color(QPalette::WindowText), QColor(20, 0, 255));
    EXPECT_EQ(window.TextOf(118).toStdString().find("mailto:"), std::string::npos);

    // Choose a volume: nothing chosen, so Search waits.
    const std::vector<int> always{117, 118, 119};
    auto with = [&](std::initializer_list<int> ids) {
        std::vector<int> all(ids);
        all.insert(all.end(), always.begin(), always.end());
        std::sort(all.begin(), all.end());
        return all;
    };
    EXPECT_EQ(dialog.VisibleControls(),
              with({100, 101, 121, 122, 123, 124, 125, 126, 127, 128, 129, 131, 133, 1006, 1008, 1009, 1010}));
    EXPECT_FALSE(dialog.Control(101)->isEnabled());
    for (int id : {1006, 1008, 1009, 1010})
        EXPECT_FALSE(dialog.Control(id)->isEnabled()) << id;
    auto* units = qobject_cast<QComboBox*>(dialog.Control(1010));
    auto* comparisons = qobject_cast<QComboBox*>(dialog.Control(1009));
    ASSERT_EQ(units->count(), 3);
    EXPECT_EQ(units->itemText(0) + units->itemText(1) + units->itemText(2), QStringLiteral("GBKBMB"));
    EXPECT_EQ(units->currentText(), QStringLiteral("GB"));
    EXPECT_EQ(comparisons->currentText(), QStringLiteral("<"));
    window.Tick(126, true);
    window.Tick(128, true);
    for (int id : {1006, 1008, 1009, 1010})
        EXPECT_TRUE(dialog.Control(id)->isEnabled()) << id;
    window.Tick(128, false);
    window.Tick(126, false);
    EXPECT_FALSE(dialog.Control(1008)->isEnabled());
    EXPECT_FALSE(dialog.Control(1006)->isEnabled());

    // The images come after the machine's volumes; a file with no file
    // system cannot be searched and says so.
    std::vector<std::string> rows = VolumeRows(dialog);
    ASSERT_GE(rows.size(), 2u);
    EXPECT_EQ(rows[rows.size() - 2], card + "|FAT32|0,03 GB (33,20 MB)");
    EXPECT_EQ(rows.back(), junk + "|" + LanguageText(23).toStdString() + "|0,00 GB (0,06 MB)");
    ASSERT_TRUE(window.SelectVolume(junk));
    EXPECT_FALSE(dialog.Control(101)->isEnabled());
    EXPECT_EQ(dialog.Hint()->text(), LanguageText(68));
    // A deep search looks for files in what holds no file system.
    window.Tick(CDialogFileRecovery::kDeepSearchId, true);
    EXPECT_TRUE(dialog.Control(101)->isEnabled());
    EXPECT_EQ(dialog.Hint()->text(), QString());
    window.Tick(CDialogFileRecovery::kDeepSearchId, false);
    EXPECT_FALSE(dialog.Control(101)->isEnabled());
    ASSERT_TRUE(window.SelectVolume(card));
    EXPECT_TRUE(dialog.Control(101)->isEnabled());
    EXPECT_EQ(dialog.Hint()->text(), QString());

    // Scanning: the list, the bar with its line and Stop, under the caption
    // naming the volume.
    qobject_cast<QPushButton*>(dialog.Control(101))->click();
    EXPECT_EQ(dialog.VisibleControls(), with({100, 102, 111, 134}));
    EXPECT_EQ(dialog.windowTitle(), LanguageText(24) + QString::fromStdString(card) + QStringLiteral(" ..."));
    ASSERT_TRUE(window.WaitUntil([&] { return dialog.CurrentPhase() == Phase::Results; }));

    // Results: the found files, with Recover waiting for a choice.
    EXPECT_EQ(dialog.VisibleControls(), with({103, 104, 116, 120, 129, 130, 132, 1004}));
    EXPECT_EQ(dialog.windowTitle(), LanguageText(25));
    EXPECT_FALSE(dialog.Control(104)->isEnabled());
    std::vector<std::vector<std::string>> found = window.FoundRows();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0][1], "0,00 MB (2,92 KB)");
    EXPECT_EQ(found[1][1], "0,00 MB (0,09 KB)");
    ASSERT_TRUE(window.SelectFound({found[1][0]}));
    EXPECT_TRUE(dialog.Control(104)->isEnabled());

    // New search: back to the choice, the options cleared, the worker gone.
    qobject_cast<QPushButton*>(dialog.Control(120))->click();
    EXPECT_EQ(dialog.VisibleControls(),
              with({100, 101, 121, 122, 123, 124, 125, 126, 127, 128, 129, 131, 133, 1006, 1008, 1009, 1010}));
    EXPECT_EQ(dialog.windowTitle(), LanguageText(0));
    EXPECT_FALSE(dialog.Worker().Running());
    EXPECT_FALSE(qobject_cast<QCheckBox*>(dialog.Control(126))->isChecked());
    EXPECT_FALSE(dialog.Control(101)->isEnabled());
    EXPECT_TRUE(window.messages.shown.empty());
}

TEST(MainWindow, FollowsVolumesAsTheyComeAndGo)
{
    jextest::TempDir dir;
    std::string card = SmallCard(dir);
    WindowDriver window({card});
    CDialogFileRecovery& dialog = window.Dialog();
    auto volumes = boost::make_shared<FakeVolumes>();
    dialog.UseVolumeEnum(volumes);
    const std::string image = card + "|FAT32|0,03 GB (33,20 MB)";
    EXPECT_EQ(VolumeRows(dialog), std::vector<std::string>{image});

    volumes->Arrive(L"/dev/sdc1", 512ull << 20, L"FAT32");
    volumes->Arrive(L"/dev/sda1", 0, L"");
    volumes->Arrive(L"/dev/sdb1", 3ull << 30, L"NTFS");
    const std::string unknown = LanguageText(23).toStdString();
    std::vector<std::string> expected{"/dev/sda1|" + unknown + "|0,00 GB (0,00 MB)", "/dev/sdb1|NTFS|3,00 GB (3072,00 MB)",
                                      "/dev/sdc1|FAT32|0,50 GB (512,00 MB)", image};
    EXPECT_EQ(VolumeRows(dialog), expected);

    // Each removal takes exactly its own row, also after an earlier one.
    volumes->Remove(L"/dev/sda1");
    volumes->Remove(L"/dev/sdc1");
    expected = {"/dev/sdb1|NTFS|3,00 GB (3072,00 MB)", image};
    EXPECT_EQ(VolumeRows(dialog), expected);
    // A volume that comes back takes its place in the core's order.
    volumes->Arrive(L"/dev/sda1", 1ull << 30, L"FAT32");
    expected.insert(expected.begin(), "/dev/sda1|FAT32|1,00 GB (1024,00 MB)");
    EXPECT_EQ(VolumeRows(dialog), expected);
    // Unknown removals change nothing; the list changes in every phase.
    volumes->Remove(L"/dev/sdz9");
    EXPECT_EQ(VolumeRows(dialog), expected);
    ASSERT_TRUE(window.SelectVolume(card));
    ASSERT_TRUE(window.SearchAndWait());
    volumes->Remove(L"/dev/sdb1");
    expected.erase(expected.begin() + 1);
    EXPECT_EQ(VolumeRows(dialog), expected);
}

TEST(MainWindow, BuildsTheFilterGroupOfTheTickedOptions)
{
    WindowDriver window({});
    CDialogFileRecovery& dialog = window.Dialog();
    RecordingCreator creator;
    auto describe = [&] { return static_cast<RecordedCheck&>(*dialog.BuildFilter(creator)).Describe(); };
    auto setSize = [&](const char* comparison, const char* value, const char* unit) {
        window.Tick(128, true);
        qobject_cast<QComboBox*>(dialog.Control(1009))->setCurrentText(QString::fromLatin1(comparison));
        qobject_cast<QLineEdit*>(dialog.Control(1008))->setText(QString::fromLatin1(value));
        qobject_cast<QComboBox*>(dialog.Control(1010))->setCurrentText(QString::fromLatin1(unit));
    };

    // Nothing ticked: an empty group, which takes every file.
    EXPECT_EQ(describe(), "and()");

    // The ticked categories, in the order documents, audio, images, video,
    // and the own extensions make one list: a file of any of them is found.
    window.Tick(122, true);
    window.Tick(125, true);
    window.Tick(126, true);
    qobject_cast<QLineEdit*>(dialog.Control(1006))->setText(QStringLiteral("raw"));
    std::string all = describe();
    EXPECT_EQ(all.rfind("and(Add=list(Add=\"doc\",", 0), 0u) << all;
    EXPECT_NE(all.find("Add=\"tex\",Add=\"mp3\","), std::string::npos) << all;
    EXPECT_EQ(all.size() - all.rfind("Add=\"dff\",Add=\"raw\"))"), std::string("Add=\"dff\",Add=\"raw\"))").size()) << all;
    EXPECT_EQ(all.find("list(", 10), std::string::npos) << all;
    window.Tick(122, false);
    window.Tick(125, false);
    window.Tick(126, false);
    window.Tick(123, true);
    EXPECT_NE(describe().find("Add=list(Add=\"mp4\","), std::string::npos);
    window.Tick(123, false);

    // Own extensions: every piece between bars, the empty one too.
    window.Tick(126, true);
    qobject_cast<QLineEdit*>(dialog.Control(1006))->setText(QStringLiteral("doc||wav"));
    EXPECT_EQ(describe(), "and(Add=list(Add=\"doc\",Add=\"\",Add=\"wav\"))");
    window.Tick(126, false);

    // Sizes; both bounds are exclusive, and a range without a minimum
    // takes empty files too.
    setSize("<", "0", "KB");
    EXPECT_EQ(describe(), "and(Add=range(Max=0))");
    setSize("<", "5", "GB");
    EXPECT_EQ(describe(), "and(Add=range(Max=5368709120))");
    setSize(">", "5", "MB");
    EXPECT_EQ(describe(), "and(Add=range(Min=5242880,Max=18446744073709551615))");
    // "=": the whole number of units, value * unit <= size < (value+1) * unit.
    setSize("=", "2", "KB");
    EXPECT_EQ(describe(), "and(Add=range(Min=2047,Max=3072))");
    setSize("=", "0", "MB");
    EXPECT_EQ(describe(), "and(Add=range(Max=1048576))");
    // A value read leniently: the leading digits, nothing gives 0, and a
    // huge one stays at the largest size instead of wrapping round.
    setSize(">", "", "KB");
    EXPECT_EQ(describe(), "and(Add=range(Min=0,Max=18446744073709551615))");
    setSize("<", "99999999999999999999999", "GB");
    EXPECT_EQ(describe(), "and(Add=range(Max=18446744073709551615))");
    window.Tick(125, true);
    setSize(">", "1", "KB");
    std::string mixed = describe();
    EXPECT_EQ(mixed.rfind("and(Add=list(Add=\"doc\","), 0u);
    EXPECT_NE(mixed.find("),Add=range(Min=1024,Max=18446744073709551615))"), std::string::npos) << mixed;
}

TEST(MainWindow, EnterAndEscapeDoNothingWhileTabMovesTheFocus)
{
    jextest::TempDir dir;
    std::string card = SmallCard(dir);
    WindowDriver window({card});
    CDialogFileRecovery& dialog = window.Dialog();
    dialog.show();
    ASSERT_TRUE(window.SelectVolume(card));
    auto* search = qobject_cast<QPushButton*>(dialog.Control(101));
    ASSERT_TRUE(search->isEnabled());
    search->setFocus();
    for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(search, &press);
        QKeyEvent onWindow(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &onWindow);
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.CurrentPhase(), Phase::ChooseVolume);
    // Tab goes on to the next control.
    QWidget* before = QApplication::focusWidget();
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(search, &tab);
    EXPECT_NE(QApplication::focusWidget(), before);
    dialog.hide();
}

TEST(VolumePermission, TellsAnUnreadableVolumeFromOneWithoutAFileSystem)
{
    jextest::TempDir dir;
    std::string locked = dir.File("locked.img");
    jextest::WriteFile(locked, jextest::Content(4096, 1));
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    EXPECT_FALSE(ZelLacksReadPermission(dir.File("missing.img")));
    if (::geteuid() != 0) {
        EXPECT_TRUE(ZelLacksReadPermission(locked));
        return;
    }
    // Root reads everything: the check runs as an ordinary user in a child.
    EXPECT_FALSE(ZelLacksReadPermission(locked));
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(3);
        ::_exit(ZelLacksReadPermission(locked) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3)
        GTEST_SKIP() << "cannot become an ordinary user to try a locked image";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(MainWindow, ListsADeviceThatIsAttachedAndDropsItWhenItGoes)
{
    jextest::TempDir dir;
    std::string image = SmallCard(dir);
    WindowDriver window({});
    CDialogFileRecovery& dialog = window.Dialog();
    auto shown = [&](const std::string& node) {
        for (const std::string& row : VolumeRows(dialog))
            if (row.rfind(node + "|", 0) == 0)
                return true;
        return false;
    };
    std::string node;
    {
        jextest::LoopDevice loop;
        std::string reason;
        if (!loop.Attach(image, reason))
            GTEST_SKIP() << "skipped: " << reason;
        node = loop.Node();
        // The device's event reaches the window through its event loop.
        if (!window.WaitUntil([&] { return shown(node); }))
            GTEST_SKIP() << "skipped: no device events reach this machine's programs";
        ASSERT_TRUE(window.SelectVolume(node));
        EXPECT_TRUE(dialog.Control(101)->isEnabled());
        EXPECT_EQ(dialog.Hint()->text(), QString());
    }
    EXPECT_TRUE(window.WaitUntil([&] { return !shown(node); })) << node;
}

TEST(MainWindow, AWholeDiskImageShowsItsPartitionsAsVolumes)
{
    jextest::WholeDisk disk;
    // A GNU ddrescue map beside the image: a kilobyte of the letter was
    // never read.
    const std::vector<uint8_t> bytes = jextest::ReadFile(disk.image);
    const uint64_t at = static_cast<uint64_t>(
        std::search(bytes.begin(), bytes.end(), disk.letter.begin(), disk.letter.end()) - bytes.begin());
    const std::string map = disk.image + ".map";
    const std::string blocks = "0 +\n0 " + std::to_string(at + 8192) + " +\n" + std::to_string(at + 8192) +
                               " 1024 -\n" + std::to_string(at + 9216) + " " +
                               std::to_string(bytes.size() - at - 9216) + " +\n";
    jextest::WriteFile(map, std::vector<uint8_t>(blocks.begin(), blocks.end()));
    {
        WindowDriver window({disk.image});
        CDialogFileRecovery& dialog = window.Dialog();
        std::vector<std::string> rows = VolumeRows(dialog);
        ASSERT_GE(rows.size(), 2u);
        EXPECT_EQ(rows[rows.size() - 2].rfind(disk.image + "@p1|FAT32|", 0), 0u) << rows[rows.size() - 2];
        EXPECT_EQ(rows.back().rfind(disk.image + "@p5|NTFS|", 0), 0u) << rows.back();
        ASSERT_TRUE(window.SelectVolume(disk.image + "@p5"));
        EXPECT_EQ(dialog.Hint()->text(), LanguageText(70).arg(QString::fromStdString(map)));
        ASSERT_TRUE(window.SearchAndWait());
        ASSERT_TRUE(window.SelectFound({"Brief.odt"}));
        ASSERT_TRUE(window.RecoverAndWait(disk.card.dir.File("out")));
        std::vector<uint8_t> expected = disk.letter;
        std::fill(expected.begin() + 8192, expected.begin() + 9216, 0);
        EXPECT_EQ(jextest::ReadFile(disk.card.dir.File("out/Brief.odt")), expected);
    }
    // A map that cannot be used keeps the image from being searched.
    jextest::WriteFile(map, {'x', '\n'});
    WindowDriver window({disk.image});
    ASSERT_TRUE(window.SelectVolume(disk.image + "@p1"));
    EXPECT_FALSE(window.Dialog().Control(101)->isEnabled());
    EXPECT_EQ(window.Dialog().Hint()->text().toStdString().rfind(
                  LanguageText(71).arg(QString::fromStdString(map), QString()).toStdString(), 0),
              0u)
        << window.Dialog().Hint()->text().toStdString();
}
