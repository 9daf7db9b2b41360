// The link text: underlined only while hovered, and a click hands its
// target to the desktop.
#include "ZelStaticLink.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QUrl>

#include <gtest/gtest.h>

namespace {

// Takes the addresses the desktop is asked to open.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    UrlCatcher() { QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "Open"); }
    ~UrlCatcher() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }
    QList<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened.append(url); }
};

void Click(QWidget& widget, Qt::MouseButton button)
{
    QPointF at(2, 2);
    QMouseEvent press(QEvent::MouseButtonPress, at, widget.mapToGlobal(at), button, button, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &press);
}

} // namespace

TEST(StaticLink, IsUnderlinedWhileHoveredOnly)
{
    QWidget parent;
    QFont bold = parent.font();
    bold.setBold(true);
    bold.setPointSize(13);
    parent.setFont(bold);
    CZelStaticLink link(&parent);
    EXPECT_EQ(link.HoverState(), -1);
    EXPECT_FALSE(link.font().underline());

    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(&link, &enter);
    EXPECT_EQ(link.HoverState(), 1);
    EXPECT_TRUE(link.font().underline());
    // Moving over it changes the font no more.
    QMouseEvent move(QEvent::MouseMove, QPointF(3, 3), link.mapToGlobal(QPointF(3, 3)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&link, &move);
    EXPECT_EQ(link.FontChanges(), 1);

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&link, &leave);
    EXPECT_EQ(link.HoverState(), 2);
    EXPECT_FALSE(link.font().underline());
    EXPECT_TRUE(link.font().bold());
    EXPECT_EQ(link.font().pointSize(), 13);
    EXPECT_EQ(link.FontChanges(), 2);
}

TEST(StaticLink, ALeftClickOpensTheTarget)
{
    UrlCatcher catcher;
    CZelStaticLink link;
    Click(link, Qt::LeftButton);
    EXPECT_TRUE(catcher.opened.isEmpty());
    link.SetTarget(QStringLiteral("https://example.org/help"));
    Click(link, Qt::RightButton);
    EXPECT_TRUE(catcher.opened.isEmpty());
    Click(link, Qt::LeftButton);
    ASSERT_EQ(catcher.opened.size(), 1);
    EXPECT_EQ(catcher.opened[0], QUrl(QStringLiteral("https://example.org/help")));
}

#include "StaticLinkTest.moc"
