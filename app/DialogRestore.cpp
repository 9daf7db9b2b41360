// The main window's restore: the chosen files handed to the worker, their
// progress and outcome, stop, back, new search and closing while the worker
// lives.
#include "DialogFileRecovery.h"

#include "DialogPreview.h"
#include "LanguageTable.h"
#include "MessagePresenter.h"
#include "jexplatform/VolumeAccess.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <chrono>
#include <thread>

namespace {

QString Percent(int value)
{
    return QString::number(value) + QLatin1Char('%');
}

} // namespace

void CDialogFileRecovery::OnRecover()
{
    std::vector<QTreeWidgetItem*> chosen = SelectedFoundRows();
    if (m_Phase != Phase::Results || chosen.empty())
        return;
    // The files go to a folder the user chose, never onto the volume they
    // are read from: writing there could overwrite what is to be recovered.
    const QString destination = m_pDestination->text();
    if (destination.isEmpty()) {
        InfoMessage(GetQText(36));
        return;
    }
    CZelVolumeCheck volume = ZelCheckVolume(m_SearchedVolume.toStdString(), false);
    if (volume.ok && volume.blockDevice && ZelFolderOnDevice(destination.toStdString(), volume.device)) {
        InfoMessage(GetQText(37));
        return;
    }

    SetCaption(26);
    m_Phase = Phase::Restoring;
    ShowFilterControls(false);
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_pRecover, m_pFoundList, m_pNarrow, m_pNewSearch, m_pDestination,
                                         m_pBrowse, m_pFilterFrame, m_pPreviewButton})
        control->hide();
    HidePreview();
    for (QWidget* control : std::initializer_list<QWidget*>{m_pRestoreList, m_pCurrentFile, m_pFileBar, m_pTotalLabel,
                                                            m_pTotalBar, m_pBack, m_pStop, m_pFilePercent,
                                                            m_pTotalPercent})
        control->show();
    m_pBack->setEnabled(false);
    m_pStop->setEnabled(true);
    m_pFileBar->setValue(0);
    m_pTotalBar->setValue(0);
    m_pFilePercent->setText(Percent(0));
    m_pTotalPercent->setText(Percent(0));
    m_pCurrentFile->setText(GetQText(10));

    m_SelectedRows.clear();
    m_RestorePositions.clear();
    m_RestoreNames.clear();
    m_pRestoreList->clear();
    for (QTreeWidgetItem* row : chosen) {
        const uint32_t j = static_cast<uint32_t>(m_SelectedRows.size());
        m_SelectedRows.push_back(static_cast<uint32_t>(m_pFoundList->indexOfTopLevelItem(row)));
        m_RestorePositions.push_back(row->data(0, kFoundPositionRole).toUInt());
        m_RestoreNames[j] = row->text(0);
        auto* item = new QTreeWidgetItem(QStringList{row->text(0), GetQText(27)});
        item->setToolTip(0, row->text(kPathColumn));
        m_pRestoreList->addTopLevelItem(item);
    }
    m_CurrentRow = 0;
    m_BegunCount = 0;
    m_EndedCount = 0;
    m_StopRequested = 0;
    m_PartialCount = 0;
    m_FailedCount = 0;
    m_pWorker->Go(m_RestorePositions, destination);
}

void CDialogFileRecovery::OnRestoreBegin(int index)
{
    HandleRestoreBegin(index);
    emit RestoreBegun(index);
}

void CDialogFileRecovery::OnRestoreProgress(double fraction)
{
    HandleRestoreProgress(fraction);
    emit RestoreProgressed(fraction);
}

void CDialogFileRecovery::OnRestoreEnd(int index)
{
    HandleRestoreEnd(index);
    emit RestoreEnded(index);
}

void CDialogFileRecovery::HandleRestoreBegin(int index)
{
    if (m_Phase != Phase::Restoring)
        return;
    const int n = static_cast<int>(m_SelectedRows.size());
    m_pDestinationLabel->hide();
    m_pFileBar->setValue(0);
    auto name = m_RestoreNames.find(static_cast<uint32_t>(index));
    m_pCurrentFile->setText(GetQText(10) + (index >= 0 && index < n && name != m_RestoreNames.end() ? name->second
                                                                                               : QString()));
    m_pFilePercent->setText(Percent(0));
    m_CurrentRow = index;
    // Files are begun in the order the volume holds them: the total counts
    // those begun before this one, whatever their rows.
    const int k = m_BegunCount < n ? m_BegunCount : n - 1;
    ++m_BegunCount;
    const int total = n >= 1 ? static_cast<int>(static_cast<int64_t>(k) * 100 / n) : 100;
    m_pTotalBar->setValue(total);
    m_pTotalPercent->setText(Percent(m_pTotalBar->value()));
    m_LastFilePercent = 0;
}

void CDialogFileRecovery::HandleRestoreProgress(double fraction)
{
    if (m_Phase != Phase::Restoring)
        return;
    const int n = static_cast<int>(m_SelectedRows.size());
    double scaled = fraction * 100.0;
    const int p = scaled >= 100.0 ? 100 : scaled > 0.0 ? static_cast<int>(scaled) : 0;
    m_pFileBar->setValue(p);
    if (p != m_LastFilePercent && n >= 1) {
        if (QTreeWidgetItem* row = m_pRestoreList->topLevelItem(m_CurrentRow))
            row->setText(1, GetQText(28));
        m_pFilePercent->setText(Percent(p));
        const int done = std::max(0, m_BegunCount - 1);
        const int total = std::min(100, p / n + static_cast<int>(static_cast<int64_t>(done) * 100 / n));
        m_pTotalPercent->setText(Percent(total));
        m_pTotalBar->setValue(total);
    }
    m_LastFilePercent = p;
}

void CDialogFileRecovery::HandleRestoreEnd(int index)
{
    if (m_Phase != Phase::Restoring)
        return;
    const int n = static_cast<int>(m_SelectedRows.size());
    m_pFileBar->setValue(100);
    // The row tells how the file came back, and why when not whole.
    CZelRestoreOutcome outcome = m_pWorker->Outcome(static_cast<size_t>(index));
    QString status;
    QString reason = QString::fromStdString(outcome.reason);
    QString newName = QFileInfo(QString::fromStdString(outcome.destination)).fileName();
    switch (outcome.result) {
    case ZelRestoreResult::Restored:
        status = GetQText(29);
        if (outcome.renamed)
            status += QStringLiteral(" (") + newName + QLatin1Char(')');
        break;
    case ZelRestoreResult::Partial:
        ++m_PartialCount;
        status = GetQText(40);
        if (outcome.renamed)
            status += QStringLiteral(" (") + newName + QLatin1Char(')');
        break;
    case ZelRestoreResult::Failed:
    case ZelRestoreResult::Skipped:
        ++m_FailedCount;
        status = GetQText(38) + (reason.isEmpty() ? QString() : QStringLiteral(" ") + reason);
        break;
    }
    if (QTreeWidgetItem* row = m_pRestoreList->topLevelItem(index)) {
        row->setText(1, status);
        row->setToolTip(1, reason.isEmpty() ? status : status + QStringLiteral("\n") + reason);
    }

    // Files end in batches, after others have begun: the restore is done
    // when every row has ended. A stop ends it once the worker has told
    // the files it began (OnRestoreFinished).
    if (++m_EndedCount == n) {
        m_pTotalBar->setValue(100);
        m_pTotalPercent->setText(Percent(100));
        EndRestore(30);
    }
}

void CDialogFileRecovery::EndRestore(uint32_t message)
{
    m_Phase = Phase::Restored;
    m_pBack->setEnabled(true);
    m_pStop->setEnabled(false);
    QString text = GetQText(message);
    // Files that did not come back whole are counted, never passed over.
    if (m_PartialCount != 0 || m_FailedCount != 0) {
        QString counts = GetQText(39).arg(m_PartialCount).arg(m_FailedCount);
        text = message == 30 ? counts : text + QStringLiteral("\n") + counts;
    }
    InfoMessage(text);
    SetCaption(31);
}

void CDialogFileRecovery::OnRestoreFinished(bool stopped)
{
    // The worker has ended its restore. When it stopped between two files
    // no file end told the window so: the restore ends here.
    if (m_Phase == Phase::Restoring)
        EndRestore(stopped || m_StopRequested != 0 ? 32 : 30);
    emit RestoreFinished(stopped);
}

void CDialogFileRecovery::OnStopRestore()
{
    m_pStop->setEnabled(false);
    // During a search: it ends, and what it found so far is listed.
    if (m_Phase == Phase::Scanning) {
        m_pWorker->StopSearch();
        return;
    }
    m_StopRequested = 1;
    m_pWorker->RequestStop();
}

void CDialogFileRecovery::LeaveRestore()
{
    for (QWidget* control : std::initializer_list<QWidget*>{m_pRestoreList, m_pTotalPercent, m_pFilePercent,
                                                            m_pTotalBar, m_pFileBar, m_pCurrentFile, m_pTotalLabel,
                                                            m_pBack, m_pStop})
        control->hide();
    m_pRestoreList->clear();
    m_pStop->setEnabled(true);
    m_pVolumeList->show();
    m_pSearch->show();
    m_pSearch->setEnabled(false);
    m_pFilterFrame->show();
}

void CDialogFileRecovery::HidePreview()
{
    if (m_pPreview != nullptr) {
        m_pPreview->ShowNothing();
        m_pPreview->hide();
    }
}

void CDialogFileRecovery::OnBack()
{
    SetCaption(0);
    ShowFilterControls(true);
    FillVolumeList();
    LeaveRestore();
}

void CDialogFileRecovery::OnNewSearch()
{
    SetCaption(0);
    ShowFilterControls(true);
    // The worker waits for a restore list: it ends at once.
    m_pWorker->Stop();
    FillVolumeList();
    LeaveRestore();
    for (QWidget* control : std::initializer_list<QWidget*>{m_pNewSearch, m_pRecover, m_pFoundList, m_pNarrow,
                                                            m_pDestination, m_pBrowse, m_pPreviewButton})
        control->hide();
    HidePreview();
}

void CDialogFileRecovery::closeEvent(QCloseEvent* event)
{
    if (m_pWorker && m_pWorker->Started()) {
        // Give a worker at its very end a moment to finish.
        QElapsedTimer clock;
        clock.start();
        while (m_pWorker->Running() && clock.elapsed() < 100)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (m_pWorker->Running()) {
            if (m_pWorker->GoGiven()) {
                // Files are being restored: they are stopped after the one
                // in progress, and the window stays until then.
                OnStopRestore();
                InfoMessage(GetQText(33));
                event->ignore();
                return;
            }
            // A scan runs, or the worker waits for a restore list.
            m_Phase = Phase::ChooseVolume;
            m_pScanTimer->stop();
            m_pWorker->Stop();
        }
    }
    HidePreview();
    QDialog::closeEvent(event);
}
