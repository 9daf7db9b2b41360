#include "ZelFolderDialog.h"

#include "RestoreOwner.h"

#include <QDir>
#include <QFileDialog>

#include <pwd.h>

namespace {

// Where the browser opens: the folder chosen before, else the home of the
// user the program works for (run through pkexec or sudo, that user's, not
// root's), else this user's home.
QString StartFolder(const QString& before)
{
    if (!before.isEmpty() && QDir(before).exists())
        return before;
    CZelRestoreOwner owner = ZelRestoreOwner();
    if (owner.change)
        if (const passwd* user = ::getpwuid(owner.uid))
            if (user->pw_dir != nullptr && QDir(QString::fromLocal8Bit(user->pw_dir)).exists())
                return QString::fromLocal8Bit(user->pw_dir);
    return QDir::homePath();
}

} // namespace

int CZelFolderDialog::Browse(QWidget* owner)
{
    QString chosen = QFileDialog::getExistingDirectory(owner, m_Title, StartFolder(m_Folder));
    if (chosen.isEmpty())
        return 0;
    m_Folder = chosen;
    return 1;
}

QString ZelPickImageFile(QWidget* owner, const QString& title, const QString& filters)
{
    return QFileDialog::getOpenFileName(owner, title, StartFolder(QString()), filters);
}
