// Takes a picture of each phase of the main window, driving the real window
// as a person would: choose the image, search, sort and choose files, pick a
// folder, restore. Run under a real X server (scripts/screenshots uses
// Xvfb); message boxes are taken down instead of waiting for a click.
//
//   jexfilerecovery-shots OUTPUT-FOLDER IMAGE RESTORE-FOLDER
#include "DialogFileRecovery.h"
#include "DialogPreview.h"
#include "JexFileRecoveryApp.h"
#include "MessagePresenter.h"
#include "jexcommon/ZelSharedLibrary.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QThread>
#include <QTreeWidget>

#include <cstdio>
#include <functional>

namespace {

bool WaitUntil(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 60000) {
        if (done())
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return false;
}

// Lets the window paint, then takes it from the screen.
bool Shoot(CDialogFileRecovery& dialog, const QString& file, QWidget* above = nullptr)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 400)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    // The screen where the window is; with a window above it, the screen
    // around both.
    QRect area = dialog.frameGeometry();
    if (above != nullptr)
        area = area.united(above->frameGeometry());
    QPixmap picture = dialog.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    if (picture.isNull())
        picture = dialog.grab();
    bool saved = picture.save(file);
    std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(file));
    return saved;
}

} // namespace

int main(int argc, char** argv)
{
    CJexFileRecoveryApp app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s OUTPUT-FOLDER IMAGE RESTORE-FOLDER\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString image = QString::fromLocal8Bit(argv[2]);
    const QString restoreTo = QString::fromLocal8Bit(argv[3]);
    // Messages are shown without waiting for a click, so that the last
    // picture holds the one that ends the restore.
    std::vector<QString> messages;
    QPointer<QMessageBox> shown;
    ZelSetMessagePresenter([&](QWidget* owner, const QString& text, const QString& caption, QMessageBox::Icon icon) {
        messages.push_back(text);
        delete shown;
        shown = new QMessageBox(icon, caption, text, QMessageBox::Ok, owner);
        shown->setModal(false);
        shown->show();
    });

    CDialogFileRecovery dialog(ZelProgramFolder());
    dialog.SetImageFiles({image});
    if (!dialog.Bound() || !dialog.InitDialog())
        return 1;
    dialog.move(0, 0);
    dialog.show();
    dialog.activateWindow();
    bool ok = true;

    // Choose the volume: the image, listed after the machine's volumes.
    auto* volumes = qobject_cast<QTreeWidget*>(dialog.Control(100));
    QTreeWidgetItem* row = volumes->topLevelItem(volumes->topLevelItemCount() - 1);
    volumes->setFocus();
    volumes->setCurrentItem(row);
    row->setSelected(true);
    ok &= Shoot(dialog, out + QStringLiteral("/1-choose-volume.png"));

    // The scan of a small image ends within moments: the window is drawn
    // straight away, before the end of the scan is handled.
    qobject_cast<QPushButton*>(dialog.Control(101))->click();
    // Where the bar stands after a few ticks of its timer.
    qobject_cast<QProgressBar*>(dialog.Control(102))->setValue(40);
    const QString scanning = out + QStringLiteral("/2-scanning.png");
    bool scanShot = dialog.grab().save(scanning);
    std::printf("%s %s\n", scanShot ? "wrote" : "could not write", qPrintable(scanning));
    ok &= WaitUntil([&] { return dialog.CurrentPhase() == CDialogFileRecovery::Phase::Results; });

    // The found files, sorted by name, two of them chosen, a folder picked.
    dialog.SortFoundList(0, Qt::AscendingOrder);
    auto* found = qobject_cast<QTreeWidget*>(dialog.Control(103));
    for (int i = 0; i < found->topLevelItemCount() && i < 3; i += 2)
        found->topLevelItem(i)->setSelected(true);
    dialog.SetDestination(restoreTo);
    ok &= Shoot(dialog, out + QStringLiteral("/3-results.png"));

    // The picture among them, previewed in its window beside the list.
    QList<QTreeWidgetItem*> chosen = found->selectedItems();
    found->clearSelection();
    for (int i = 0; i < found->topLevelItemCount(); ++i)
        if (found->topLevelItem(i)->text(CDialogFileRecovery::kNameColumn).endsWith(QStringLiteral(".png")))
            found->topLevelItem(i)->setSelected(true);
    dialog.OnPreview();
    if (CDialogPreview* preview = dialog.Preview()) {
        preview->move(dialog.frameGeometry().right() + 8, 0);
        preview->resize(480, dialog.frameGeometry().height());
        ok &= WaitUntil([&] { return preview->What() != CDialogPreview::Showing::Reading && !preview->Busy(); });
        ok &= preview->What() == CDialogPreview::Showing::Image;
        ok &= Shoot(dialog, out + QStringLiteral("/6-preview.png"), preview);
        preview->hide();
    } else {
        ok = false;
    }

    // Grown, the list and its path column take the room.
    dialog.resize(960, 520);
    ok &= WaitUntil([&] { return dialog.width() == 960; });
    ok &= Shoot(dialog, out + QStringLiteral("/7-wide.png"));
    dialog.resize(618, 413);
    ok &= WaitUntil([&] { return dialog.width() == 618; });
    found->clearSelection();
    for (QTreeWidgetItem* item : chosen)
        item->setSelected(true);

    // The restore: one picture during the second file, one at the end.
    bool restoringShot = false;
    QObject::connect(&dialog, &CDialogFileRecovery::RestoreBegun, [&](int i) {
        if (i == 1 && !restoringShot) {
            dialog.OnRestoreProgress(0.4);
            restoringShot = Shoot(dialog, out + QStringLiteral("/4-restoring.png"));
        }
    });
    bool finished = false;
    QObject::connect(&dialog, &CDialogFileRecovery::RestoreFinished, [&](bool) { finished = true; });
    qobject_cast<QPushButton*>(dialog.Control(104))->click();
    ok &= WaitUntil([&] { return finished; }) && restoringShot;
    // The message box stands over the window: the picture takes both.
    if (shown)
        shown->move(dialog.geometry().center() - shown->rect().center());
    ok &= Shoot(dialog, out + QStringLiteral("/5-done.png"), shown);
    for (const QString& message : messages)
        std::printf("message: %s\n", qPrintable(message));
    dialog.close();
    return ok && scanShot ? 0 : 1;
}
