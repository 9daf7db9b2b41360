#include "ZelFolderDialog.h"

#include <QFileDialog>

int CZelFolderDialog::Browse(QWidget* owner)
{
    QString chosen = QFileDialog::getExistingDirectory(owner, m_Title);
    if (chosen.isEmpty())
        return 0;
    m_Folder = chosen;
    return 1;
}
