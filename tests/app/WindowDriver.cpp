#include "WindowDriver.h"

#include "LanguageTable.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

namespace apptest {

WindowDriver::WindowDriver(const std::vector<std::string>& images) : dialog(JEX_BIN_DIR)
{
    QStringList paths;
    for (const std::string& image : images)
        paths << QString::fromStdString(image);
    dialog.SetImageFiles(paths);
    dialog.InitDialog();
    QObject::connect(&dialog, &CDialogFileRecovery::RestoreFinished, [this](bool) { ++finished; });
}

QString WindowDriver::TextOf(int id) const
{
    QWidget* control = dialog.Control(id);
    if (auto* label = qobject_cast<QLabel*>(control))
        return label->text();
    if (auto* button = qobject_cast<QAbstractButton*>(control))
        return button->text();
    if (auto* edit = qobject_cast<QLineEdit*>(control))
        return edit->text();
    if (auto* group = qobject_cast<QGroupBox*>(control))
        return group->title();
    return QString();
}

bool WindowDriver::SelectVolume(const std::string& volume)
{
    auto* list = qobject_cast<QTreeWidget*>(dialog.Control(100));
    for (int i = 0; list != nullptr && i < list->topLevelItemCount(); ++i)
        if (list->topLevelItem(i)->text(0).toStdString() == volume) {
            list->clearSelection();
            list->topLevelItem(i)->setSelected(true);
            return true;
        }
    return false;
}

void WindowDriver::Tick(int id, bool on)
{
    auto* box = qobject_cast<QCheckBox*>(dialog.Control(id));
    if (box != nullptr && box->isChecked() != on)
        box->click();
}

bool WindowDriver::WaitUntil(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 60000) {
        if (done())
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return done();
}

bool WindowDriver::SearchAndWait()
{
    auto* search = qobject_cast<QPushButton*>(dialog.Control(101));
    if (search == nullptr || !search->isEnabled())
        return false;
    search->click();
    return WaitUntil([this] { return dialog.CurrentPhase() == CDialogFileRecovery::Phase::Results; });
}

std::vector<std::vector<std::string>> WindowDriver::FoundRows() const
{
    std::vector<std::vector<std::string>> rows;
    auto* list = qobject_cast<QTreeWidget*>(dialog.Control(103));
    for (int i = 0; list != nullptr && i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list->topLevelItem(i);
        if (!item->isHidden())
            rows.push_back({item->text(CDialogFileRecovery::kNameColumn).toStdString(),
                            item->text(CDialogFileRecovery::kSizeColumn).toStdString(),
                            item->text(CDialogFileRecovery::kPathColumn).toStdString(),
                            item->text(CDialogFileRecovery::kEstimateColumn).toStdString()});
    }
    return rows;
}

bool WindowDriver::SelectFound(const std::vector<std::string>& names)
{
    auto* list = qobject_cast<QTreeWidget*>(dialog.Control(103));
    if (list == nullptr)
        return false;
    list->clearSelection();
    size_t selected = 0;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = list->topLevelItem(i);
        for (const std::string& name : names)
            if (!item->isHidden() && item->text(0).toStdString() == name) {
                item->setSelected(true);
                ++selected;
            }
    }
    return selected == names.size();
}

bool WindowDriver::RecoverAndWait(const std::string& dest)
{
    dialog.SetDestination(QString::fromStdString(dest));
    auto* recover = qobject_cast<QPushButton*>(dialog.Control(104));
    if (recover == nullptr || !recover->isEnabled())
        return false;
    int before = finished;
    recover->click();
    return WaitUntil([this, before] { return finished > before; });
}

QString LanguageText(uint32_t k)
{
    return GetQText(k);
}

} // namespace apptest
