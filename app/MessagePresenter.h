// How the program shows its message boxes: QMessageBox, unless a test takes
// the messages instead.
#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

typedef std::function<void(QWidget* owner, const QString& text, const QString& caption, QMessageBox::Icon icon)>
    ZelMessagePresenter;

// Replaces how messages are shown; an empty presenter restores QMessageBox.
void ZelSetMessagePresenter(ZelMessagePresenter presenter);
void ZelShowMessageBox(QWidget* owner, const QString& text, const QString& caption, QMessageBox::Icon icon);

// The program's failure message: "Please, reinstall Jex File Recovery".
void ZelShowReinstallMessage(QWidget* owner);
