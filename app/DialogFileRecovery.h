// The main window of JexFileRecovery. Its construction binds
// libJexFSCore.so from the program's folder and makes the core objects the
// window works with; its initialisation binds libJexVars.so, reads
// "Lang.vrl" and "Params.vrl" and chooses the language. The phases and
// controls of the window build on this.
#pragma once

#include "ApplicationParams.h"
#include "ZelThreadFindDeletedFiles.h"
#include "jexfscore/ZelBinding.h"

#include <QDialog>
#include <QString>

#include <memory>
#include <string>

class QLabel;

class CDialogFileRecovery : public QDialog {
    Q_OBJECT
public:
    // programFolder holds the libraries and data files (the folder of the
    // program itself).
    explicit CDialogFileRecovery(const std::string& programFolder, QWidget* parent = nullptr);
    ~CDialogFileRecovery() override;

    // The core and its objects are there; without them the failure message
    // has been shown and the program ends.
    bool Bound() const { return m_Bound; }
    // The data files are read and the run-time controls made; false after
    // the failure message.
    bool InitDialog();
    bool HasRunTimeControls() const { return m_pVersionLabel != nullptr; }

    CZelThreadFindDeletedFiles& Worker() { return *m_pWorker; }
    const std::shared_ptr<CApplicationParams>& Params() const { return m_pParams; }
    const boost::shared_ptr<CZelCheckFileCreator>& CheckFileCreator() const { return m_pCheckFileCreator; }
    const boost::shared_ptr<CZelFileSystemCreator>& FileSystemCreator() const { return m_pFileSystemCreator; }

public slots:
    // The worker's messages.
    void OnSearchDone();
    void OnRestoreBegin(int index);
    void OnRestoreProgress(double fraction);
    void OnRestoreEnd(int index);
    void OnRestoreFinished(bool stopped);
    // A message of the core, shown on this window's thread.
    void ShowCoreMessage(const QString& text, const QString& caption);

signals:
    void SearchDone();
    void RestoreBegun(int index);
    void RestoreProgressed(double fraction);
    void RestoreEnded(int index);
    void RestoreFinished(bool stopped);

private:
    bool Bind();
    void OnVolumeArrival(boost::shared_ptr<CZelVolumeInfo> volume);
    void OnVolumeRemoval(boost::shared_ptr<CZelVolumeInfo> volume);

    typedef CZelCallbackWrapperRT<CDialogFileRecovery, void, boost::shared_ptr<CZelVolumeInfo>> VolumeCallback;

    std::string m_ProgramFolder;
    bool m_Bound = false;
    CZelCoreBinding m_Core;
    boost::shared_ptr<CZelVolumeEnum> m_pVolumeEnum;
    boost::shared_ptr<CZelFileSystemCreator> m_pFileSystemCreator;
    boost::shared_ptr<CZelVolumeInfoIterator> m_pVolumeIterator;
    boost::shared_ptr<CZelCheckFileCreator> m_pCheckFileCreator;
    boost::shared_ptr<VolumeCallback> m_pArrivalCallback;
    boost::shared_ptr<VolumeCallback> m_pRemovalCallback;
    std::shared_ptr<CApplicationParams> m_pParams;
    std::unique_ptr<CZelThreadFindDeletedFiles> m_pWorker;
    QLabel* m_pVersionLabel = nullptr;
};
