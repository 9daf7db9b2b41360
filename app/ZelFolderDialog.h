// The folder browser for the destination folder.
#pragma once

#include <QString>

class QWidget;

class CZelFolderDialog {
public:
    void SetTitle(const QString& title) { m_Title = title; }
    // The folder the browser opens on, when it exists.
    void SetFolder(const QString& folder) { m_Folder = folder; }
    // Shows the browser; 1 with Folder() set to the chosen folder, 0 when
    // the user cancels (Folder() stays as it was).
    int Browse(QWidget* owner);
    const QString& Folder() const { return m_Folder; }

private:
    QString m_Title;
    QString m_Folder;
};

// A file dialog for one disk image; the path chosen, or empty.
QString ZelPickImageFile(QWidget* owner, const QString& title, const QString& filters);
