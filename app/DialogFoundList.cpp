// The main window's list of found files: filled when the search ends, with
// each file's recovery estimate; sorted, narrowed and chosen from; the
// preview of the chosen file.
#include "DialogFileRecovery.h"

#include "DialogPreview.h"
#include "LanguageTable.h"
#include "MessagePresenter.h"
#include "SizeTexts.h"

#include <QColor>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

namespace {

// Where a found row keeps its size and its estimate (its position is
// kFoundPositionRole).
constexpr int SizeRole = Qt::UserRole + 1;
constexpr int EstimateRole = Qt::UserRole + 2;

// A row of the found list: sorts by size and estimate as numbers, by the
// texts otherwise.
class CFoundFileItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override
    {
        int column = treeWidget() != nullptr ? treeWidget()->sortColumn() : 0;
        int order = 0;
        if (column == CDialogFileRecovery::kSizeColumn) {
            const qulonglong mine = data(0, SizeRole).toULongLong(), theirs = other.data(0, SizeRole).toULongLong();
            order = mine < theirs ? -1 : mine > theirs ? 1 : 0;
        } else if (column == CDialogFileRecovery::kEstimateColumn) {
            // Files not judged sort below every judged one.
            order = data(0, EstimateRole).toInt() - other.data(0, EstimateRole).toInt();
        } else {
            order = text(column).localeAwareCompare(other.text(column));
        }
        if (order != 0)
            return order < 0;
        // Equal values keep the scan's order.
        return data(0, CDialogFileRecovery::kFoundPositionRole).toUInt() <
               other.data(0, CDialogFileRecovery::kFoundPositionRole).toUInt();
    }
};

// The mark of an estimate: green for a whole file, amber for a partial one,
// red for a lost one, grey for one not judged.
QIcon EstimateMark(int32_t estimate)
{
    static QIcon marks[4];
    const int which = estimate >= 100 ? 0 : estimate > 0 ? 1 : estimate == 0 ? 2 : 3;
    if (marks[which].isNull()) {
        static const QColor colours[4] = {QColor(40, 160, 60), QColor(230, 150, 0), QColor(210, 40, 40),
                                          QColor(150, 150, 150)};
        QPixmap dot(12, 12);
        dot.fill(Qt::transparent);
        QPainter painter(&dot);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colours[which]);
        painter.drawEllipse(1, 1, 10, 10);
        painter.end();
        marks[which] = QIcon(dot);
    }
    return marks[which];
}

} // namespace

QString ZelEstimateText(int32_t estimate)
{
    if (estimate < 0)
        return GetQText(47);
    const uint32_t word = estimate >= 100 ? 44 : estimate > 0 ? 45 : 46;
    return QString::number(std::min(estimate, 100)) + QStringLiteral("% ") + GetQText(word);
}

void CDialogFileRecovery::OnSearchDone()
{
    HandleSearchDone();
    emit SearchDone();
}

void CDialogFileRecovery::HandleSearchDone()
{
    // A search the window no longer waits for (a new search was begun, or
    // the window closes) leaves the window as it is.
    if (m_Phase != Phase::Scanning)
        return;
    m_pScanTimer->stop();
    m_BounceUp = 1;
    m_pScanBar->hide();
    m_pScanInfo->hide();
    m_pStop->hide();
    m_pVolumeList->hide();
    m_pFoundList->clear();
    m_pFoundList->header()->setSortIndicatorShown(false);
    m_pFoundList->show();
    m_pNarrow->clear();
    m_pNarrow->show();
    SetCaption(25);
    m_Phase = Phase::Results;
    FillFoundList();

    m_pRecover->show();
    m_pRecover->setEnabled(false);
    m_pPreviewButton->show();
    m_pPreviewButton->setEnabled(false);
    m_pNewSearch->show();
    m_pDestinationLabel->show();
    m_pDestination->clear();
    m_pDestination->show();
    m_pBrowse->setEnabled(true);
    m_pBrowse->show();
    m_pFilterFrame->hide();

    // A volume that could not be searched says why; one that could only
    // in part says how much of it could not be read.
    const std::string error = m_pWorker->SearchError();
    if (!error.empty())
        ZelShowMessageBox(this, GetQText(49).arg(QString::fromStdString(error)), QStringLiteral("Jex File Recovery"),
                          QMessageBox::Warning);
    else
        TellUnreadable();
}

void CDialogFileRecovery::FillFoundList()
{
    m_RowPositions.clear();
    const std::vector<CZelFoundEntry>& found = m_pWorker->Found();
    QList<QTreeWidgetItem*> rows;
    for (size_t p = 0; p < found.size(); ++p) {
        const CZelFoundEntry& entry = found[p];
        if (entry.directory)
            continue;
        const QString path = QString::fromStdString(entry.Path());
        auto* item = new CFoundFileItem(QStringList{QString::fromStdString(entry.name), ZelFileSizeText(entry.size),
                                                    ZelEstimateText(entry.estimate), path});
        item->setData(0, kFoundPositionRole, static_cast<uint>(p));
        item->setData(0, SizeRole, static_cast<qulonglong>(entry.size));
        item->setData(0, EstimateRole, static_cast<int>(entry.estimate));
        item->setIcon(kEstimateColumn, EstimateMark(entry.estimate));
        // The engine's reason for a file it does not judge whole.
        QString tip = ZelEstimateText(entry.estimate);
        if (entry.estimate >= 0 && entry.estimate < 100)
            if (auto file = boost::dynamic_pointer_cast<CZelFSFile>(entry.entry)) {
                const std::string note = file->GetRecoveryNote();
                if (!note.empty())
                    tip += QStringLiteral("\n") + QString::fromStdString(note);
            }
        item->setToolTip(kEstimateColumn, tip);
        item->setToolTip(kPathColumn, path);
        rows.append(item);
        m_RowPositions.push_back(static_cast<uint32_t>(p));
    }
    m_pFoundList->addTopLevelItems(rows);
}

void CDialogFileRecovery::TellUnreadable()
{
    const uint64_t stretches = m_pWorker->UnreadableStretches();
    if (stretches == 0)
        return;
    const QString text = GetQText(48).arg(stretches).arg(ZelFileSizeText(m_pWorker->UnreadableBytes()));
    ZelShowMessageBox(this, text, QStringLiteral("Jex File Recovery"), QMessageBox::Warning);
}

std::vector<QTreeWidgetItem*> CDialogFileRecovery::SelectedFoundRows() const
{
    // Rows as shown, top to bottom; a row hidden by the narrowing box is
    // never part of the choice.
    std::vector<QTreeWidgetItem*> rows;
    for (int i = 0; i < m_pFoundList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_pFoundList->topLevelItem(i);
        if (item->isSelected() && !item->isHidden())
            rows.push_back(item);
    }
    return rows;
}

void CDialogFileRecovery::OnFoundSelChanged()
{
    const size_t chosen = SelectedFoundRows().size();
    m_pRecover->setEnabled(chosen != 0);
    m_pPreviewButton->setEnabled(chosen == 1);
    UpdatePreview();
}

std::vector<uint32_t> CDialogFileRecovery::ShownRowPositions() const
{
    std::vector<uint32_t> positions;
    for (int i = 0; i < m_pFoundList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_pFoundList->topLevelItem(i);
        if (!item->isHidden())
            positions.push_back(item->data(0, kFoundPositionRole).toUInt());
    }
    return positions;
}

void CDialogFileRecovery::NarrowFoundList(const QString& text)
{
    if (m_pNarrow->text() != text)
        m_pNarrow->setText(text);
    const QString wanted = text.trimmed();
    for (int i = 0; i < m_pFoundList->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_pFoundList->topLevelItem(i);
        bool match = wanted.isEmpty() || item->text(kNameColumn).contains(wanted, Qt::CaseInsensitive) ||
                     item->text(kPathColumn).contains(wanted, Qt::CaseInsensitive);
        // What cannot be seen is not chosen.
        if (!match)
            item->setSelected(false);
        item->setHidden(!match);
    }
    OnFoundSelChanged();
}

void CDialogFileRecovery::SortFoundList(int column, Qt::SortOrder order)
{
    m_pFoundList->sortItems(column, order);
    m_pFoundList->header()->setSortIndicatorShown(true);
    m_pFoundList->header()->setSortIndicator(column, order);
}

void CDialogFileRecovery::OnPreview()
{
    if (m_Phase != Phase::Results)
        return;
    if (m_pPreview == nullptr)
        m_pPreview = new CDialogPreview(this);
    m_pPreview->show();
    m_pPreview->raise();
    UpdatePreview();
}

void CDialogFileRecovery::UpdatePreview()
{
    if (m_pPreview == nullptr || !m_pPreview->isVisible())
        return;
    std::vector<QTreeWidgetItem*> chosen = SelectedFoundRows();
    const std::vector<CZelFoundEntry>& found = m_pWorker->Found();
    const uint32_t position = chosen.size() == 1 ? chosen.front()->data(0, kFoundPositionRole).toUInt() : UINT32_MAX;
    if (m_Phase != Phase::Results || position >= found.size())
        m_pPreview->ShowNothing();
    else
        m_pPreview->ShowFile(found[position]);
}
