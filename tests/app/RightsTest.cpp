// The window as an ordinary user: a device it may not read is asked for
// through the helper when chosen, searched through the descriptor handed
// over, and its files restored as the user's own. The helper is run by a
// stand-in for pkexec that takes back the root rights the test process
// lent away; a helper that refuses leaves the hint saying so.
#include "WindowDriver.h"
#include "support/TestImages.h"

#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

using apptest::LanguageText;
using apptest::WindowDriver;

namespace {

constexpr uid_t kNobody = 65534;

// The process acts as nobody while it lives (its real user stays root, so
// that a child can take root back).
class ActAsNobody {
public:
    ActAsNobody()
    {
        m_Groups.resize(static_cast<size_t>(std::max(0, ::getgroups(0, nullptr))));
        if (::getgroups(static_cast<int>(m_Groups.size()), m_Groups.data()) < 0)
            m_Groups.clear();
        m_Acting = ::setgroups(0, nullptr) == 0 && ::setegid(kNobody) == 0 && ::seteuid(kNobody) == 0;
    }
    ~ActAsNobody()
    {
        if (::seteuid(0) == 0) {
            ::setegid(0);
            ::setgroups(m_Groups.size(), m_Groups.data());
        }
    }
    bool Acting() const { return m_Acting; }

private:
    std::vector<gid_t> m_Groups;
    bool m_Acting = false;
};

// Runs the helper as pkexec would, as root.
std::vector<std::string> RootHelper()
{
    return {"python3", "-c", "import os, sys; os.setegid(0); os.seteuid(0); os.execv(sys.argv[1], sys.argv[1:])",
            std::string(JEX_BIN_DIR) + "/jexfilerecovery-open"};
}

} // namespace

TEST(Rights, ADeviceTheUserMayNotReadIsAskedForSearchedAndRestoredAsTheUsers)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "skipped: lending rights away and back needs root";
    jextest::TempDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    const std::string image = jextest::MakeFatImage(dir, "card.img", 32, 34000);
    jextest::WriteFile(dir.File("photo"), jextest::Content(6000, 4));
    const std::string m = "MTOOLS_SKIP_CHECK=1 ", i = " -i " + jextest::Quote(image) + " ";
    ASSERT_EQ(jextest::Run(m + "mcopy" + i + jextest::Quote(dir.File("photo")) + " ::/Foto.jpg"), 0);
    ASSERT_EQ(jextest::Run(m + "mdel" + i + "::/Foto.jpg"), 0);
    jextest::LoopDevice loop;
    std::string reason;
    if (!loop.Attach(image, reason))
        GTEST_SKIP() << "skipped: " << reason;
    const std::string out = dir.File("out");
    ASSERT_EQ(::mkdir(out.c_str(), 0777), 0);
    ASSERT_EQ(::chmod(out.c_str(), 0777), 0);

    WindowDriver window({});
    CDialogFileRecovery& dialog = window.Dialog();
    int granted = 0, refused = 0;
    QObject::connect(&dialog, &CDialogFileRecovery::DeviceAsked, [&](bool yes) { ++(yes ? granted : refused); });
    ActAsNobody nobody;
    if (!nobody.Acting())
        GTEST_SKIP() << "skipped: cannot act as an ordinary user here";

    // Chosen, the device is asked for; the helper refuses (as pkexec does
    // when the password dialog is dismissed), and the hint says so.
    dialog.UseDeviceHelper({"sh", "-c", "exit 126", "sh"});
    dialog.AddImageFile(QString::fromStdString(loop.Node()));
    ASSERT_TRUE(window.WaitUntil([&] { return refused == 1; }));
    EXPECT_EQ(dialog.Hint()->text(), LanguageText(41));
    EXPECT_NE(dialog.Hint()->toolTip().indexOf(QStringLiteral("not given")), -1) << dialog.Hint()->toolTip().toStdString();
    // Chosen again, it is not asked for again; Search asks.
    auto* search = qobject_cast<QPushButton*>(dialog.Control(101));
    EXPECT_TRUE(search->isEnabled());
    dialog.UseDeviceHelper(RootHelper());
    search->click();
    ASSERT_TRUE(window.WaitUntil([&] { return granted == 1; }));
    EXPECT_EQ(refused, 1);
    EXPECT_EQ(dialog.Hint()->text(), QString());
    ASSERT_TRUE(search->isEnabled());

    // Searched and restored through the descriptor, as the user.
    ASSERT_TRUE(window.SearchAndWait());
    std::vector<std::vector<std::string>> rows = window.FoundRows();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][2], loop.Node().substr(loop.Node().rfind('/') + 1) + "/Foto.jpg");
    ASSERT_TRUE(window.SelectFound({"Foto.jpg"}));
    ASSERT_TRUE(window.RecoverAndWait(out));
    struct stat info;
    ASSERT_EQ(::stat((out + "/Foto.jpg").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, kNobody);
    EXPECT_EQ(jextest::ReadFile(out + "/Foto.jpg"), jextest::Content(6000, 4));
}
