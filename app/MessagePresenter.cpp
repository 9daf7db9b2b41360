#include "MessagePresenter.h"

namespace {

ZelMessagePresenter& Presenter()
{
    static ZelMessagePresenter presenter;
    return presenter;
}

} // namespace

void ZelSetMessagePresenter(ZelMessagePresenter presenter)
{
    Presenter() = std::move(presenter);
}

void ZelShowMessageBox(QWidget* owner, const QString& text, const QString& caption, QMessageBox::Icon icon)
{
    if (Presenter()) {
        Presenter()(owner, text, caption, icon);
        return;
    }
    QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

void ZelShowReinstallMessage(QWidget* owner)
{
    ZelShowMessageBox(owner, QStringLiteral("Please, reinstall Jex File Recovery"), QStringLiteral("Jex File Recovery"),
                      QMessageBox::Critical);
}
