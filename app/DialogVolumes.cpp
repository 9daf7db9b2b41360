// The main window's volume list, filter options, search and list of found
// files.
#include "DialogFileRecovery.h"

#include "LanguageTable.h"
#include "MessagePresenter.h"
#include "SizeTexts.h"
#include "VolumePermission.h"
#include "ZelFolderDialog.h"
#include "jexcommon/ZelText.h"
#include "jexplatform/BlockDevices.h"
#include "jexplatform/DeviceFile.h"
#include "jexplatform/PartitionTable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

namespace {

// Where a found row keeps its size (its position is kFoundkFoundPositionRole).
constexpr int SizeRole = Qt::UserRole + 1;
// Where a volume row keeps the text that names its volume.
constexpr int VolumeRole = Qt::UserRole;

// A row of the found list: sorts by size as a number, by the texts
// otherwise.
class CFoundFileItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override
    {
        int column = treeWidget() != nullptr ? treeWidget()->sortColumn() : 0;
        if (column == 1)
            return data(0, SizeRole).toULongLong() < other.data(0, SizeRole).toULongLong();
        int order = text(column).localeAwareCompare(other.text(column));
        if (order != 0)
            return order < 0;
        // Equal texts keep the scan's order.
        return data(0, CDialogFileRecovery::kFoundPositionRole).toUInt() <
               other.data(0, CDialogFileRecovery::kFoundPositionRole).toUInt();
    }
};

// The leading decimal digits of text as a number: reading stops at the
// first other character, nothing gives 0, and a value too large for 64 bits
// stays at the largest.
int64_t LeadingNumber(const QString& text)
{
    int64_t value = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        int digit = c.unicode() - '0';
        if (value > (INT64_MAX - digit) / 10)
            return INT64_MAX;
        value = value * 10 + digit;
    }
    return value;
}

// a * b for byte counts, held at the largest value instead of wrapping.
uint64_t Product(uint64_t a, uint64_t b)
{
    if (a != 0 && b > UINT64_MAX / a)
        return UINT64_MAX;
    return a * b;
}

} // namespace

void CDialogFileRecovery::FillVolumeList()
{
    if (m_pVolumeList == nullptr)
        return;
    m_pVolumeList->clear();
    m_pVolumeIterator.reset();
    if (m_pVolumeEnum) {
        m_pVolumeIterator = m_pVolumeEnum->GetVolumeInfoIterator();
        int row = 0;
        for (m_pVolumeIterator->First(); !m_pVolumeIterator->IsDone(); m_pVolumeIterator->Next())
            if (boost::shared_ptr<CZelVolumeInfo> volume = m_pVolumeIterator->CurrentItem())
                InsertVolumeRow(row++, *volume);
    }
    AppendImageRows();
}

void CDialogFileRecovery::InsertVolumeRow(int row, CZelVolumeInfo& volume)
{
    QString root = QString::fromStdWString(volume.GetRootPath());
    QString fileSystem = QString::fromStdWString(volume.GetFileSystemName());
    auto* item = new QTreeWidgetItem(
        QStringList{root, fileSystem.isEmpty() ? GetQText(23) : fileSystem, ZelVolumeSizeText(volume.GetSize())});
    item->setData(0, VolumeRole, root);
    item->setToolTip(0, root);
    m_pVolumeList->insertTopLevelItem(row, item);
}

void CDialogFileRecovery::AppendImageRows()
{
    // Image files come after the machine's volumes, by the paths given made
    // whole (the found paths begin with the image's own name). A whole-disk
    // image shows its partitions, each named IMAGE@pN.
    for (const QString& given : m_ImageFiles) {
        QFileInfo file(given);
        const QString path = file.absoluteFilePath();
        std::vector<std::string> volumes;
        CZelDeviceFile disk;
        std::string error, table;
        if (disk.Open(path.toStdString(), error))
            for (const CZelPartition& partition : ZelListPartitions(disk.Descriptor(), disk.Size(), table))
                if (!partition.extended)
                    volumes.push_back(path.toStdString() + "@p" + std::to_string(partition.number));
        disk.Close();
        if (volumes.empty())
            volumes.push_back(path.toStdString());
        for (const std::string& volume : volumes) {
            CZelVolumeDescription description = ZelDescribeVolume(volume, volume == path.toStdString() && file.exists()
                                                                               ? static_cast<uint64_t>(file.size())
                                                                               : 0);
            const QString text = QString::fromStdString(volume);
            const QString fileSystem = QString::fromStdWString(description.fileSystemName);
            auto* item = new QTreeWidgetItem(
                QStringList{text, fileSystem.isEmpty() ? GetQText(23) : fileSystem, ZelVolumeSizeText(description.size)});
            item->setData(0, VolumeRole, text);
            item->setToolTip(0, text);
            m_pVolumeList->addTopLevelItem(item);
        }
    }
}

void CDialogFileRecovery::OnVolumeArrival(boost::shared_ptr<CZelVolumeInfo> volume)
{
    if (!volume || !m_pVolumeEnum || m_pVolumeList == nullptr)
        return;
    const std::wstring root = volume->GetRootPath();
    m_pVolumeIterator = m_pVolumeEnum->GetVolumeInfoIterator();
    int row = 0;
    for (m_pVolumeIterator->First(); !m_pVolumeIterator->IsDone(); m_pVolumeIterator->Next(), ++row) {
        boost::shared_ptr<CZelVolumeInfo> item = m_pVolumeIterator->CurrentItem();
        if (item && item->GetRootPath() == root)
            InsertVolumeRow(row, *item);
    }
}

void CDialogFileRecovery::OnVolumeRemoval(boost::shared_ptr<CZelVolumeInfo> volume)
{
    if (!volume || m_pVolumeList == nullptr)
        return;
    const std::wstring root = volume->GetRootPath();
    if (m_pVolumeIterator) {
        int row = 0;
        for (m_pVolumeIterator->First(); !m_pVolumeIterator->IsDone(); m_pVolumeIterator->Next(), ++row) {
            boost::shared_ptr<CZelVolumeInfo> item = m_pVolumeIterator->CurrentItem();
            if (item && item->GetRootPath() == root) {
                // The row stands where the snapshot had it, unless the list
                // was changed since; then the row that names the volume goes.
                QTreeWidgetItem* shown = m_pVolumeList->topLevelItem(row);
                if (shown == nullptr || shown->data(0, VolumeRole).toString() != QString::fromStdWString(root))
                    for (int i = 0; i < m_pVolumeList->topLevelItemCount(); ++i)
                        if (m_pVolumeList->topLevelItem(i)->data(0, VolumeRole).toString() ==
                            QString::fromStdWString(root)) {
                            shown = m_pVolumeList->topLevelItem(i);
                            break;
                        }
                delete shown;
                break;
            }
        }
    }
    // Row numbers and the snapshot keep matching.
    m_pVolumeIterator = m_pVolumeEnum ? m_pVolumeEnum->GetVolumeInfoIterator() : nullptr;
}

void CDialogFileRecovery::OnVolumeSelChanged()
{
    // Only while a volume is being chosen.
    if (m_Phase != Phase::ChooseVolume)
        return;
    QList<QTreeWidgetItem*> selected = m_pVolumeList->selectedItems();
    if (selected.isEmpty()) {
        m_pSearch->setEnabled(false);
        m_pHint->setText(GetQText(35));
        return;
    }
    const QString volume = selected.front()->data(0, VolumeRole).toString();
    // A device the user may not read: say how to get access, not that its
    // file system is unknown. Asked before the probe, which would only fail.
    if (ZelLacksReadPermission(volume.toStdString())) {
        m_pSearch->setEnabled(false);
        m_pHint->setText(GetQText(41));
        m_pHint->setToolTip(volume);
        return;
    }
    std::wstring reason;
    boost::shared_ptr<CZelFileSystem> probe =
        m_pFileSystemCreator->CreateFileSystemEx(volume.toStdWString().c_str(), reason);
    bool supported = static_cast<bool>(probe);
    probe.reset();
    m_pSearch->setEnabled(supported);
    m_pHint->setText(supported ? QString() : GetQText(35));
    m_pHint->setToolTip(supported ? QString() : QString::fromStdWString(reason));
}

void CDialogFileRecovery::ShowFilterControls(bool show)
{
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_pSizeCompare, m_pSizeUnit, m_pSizeValue, m_pFilterFrame, m_pAudio, m_pVideo, m_pImages, m_pDocuments,
             m_pOwnExt, m_pSizeFrame, m_pSizeCheck, m_pOwnExtensions, m_pHint})
        control->setVisible(show);
    if (show) {
        m_Phase = Phase::ChooseVolume;
        m_pDestinationLabel->hide();
        for (QCheckBox* box : {m_pAudio, m_pVideo, m_pImages, m_pDocuments, m_pOwnExt, m_pSizeCheck})
            box->setChecked(false);
        for (QWidget* control : std::initializer_list<QWidget*>{m_pOwnExtensions, m_pSizeValue, m_pSizeCompare,
                                                                m_pSizeUnit})
            control->setEnabled(false);
        m_pVolumeList->setEnabled(true);
        m_pOwnExtensions->clear();
        m_pSizeValue->clear();
    } else {
        m_pDestinationLabel->show();
        m_pHint->clear();
        m_pVolumeList->setEnabled(false);
    }
}

void CDialogFileRecovery::OnOwnExtToggle()
{
    m_pOwnExtensions->setEnabled(m_pOwnExt->isChecked());
    m_pOwnExtensions->clear();
}

void CDialogFileRecovery::OnSizeToggle()
{
    bool on = m_pSizeCheck->isChecked();
    m_pSizeCompare->setEnabled(on);
    m_pSizeValue->setEnabled(on);
    m_pSizeUnit->setEnabled(on);
}

boost::shared_ptr<CZelCheckFile> CDialogFileRecovery::BuildFilter(CZelCheckFileCreator& creator)
{
    boost::shared_ptr<CZelCheckFile> root = creator.CreateCheckFile(ZelCheckFileAnd);
    if (!root)
        return root;
    // Documents, audio, images, video: each ticked category is one list of
    // the extensions the parameters give it.
    const std::pair<QCheckBox*, LONG> categories[] = {{m_pDocuments, 1}, {m_pAudio, 2}, {m_pImages, 3}, {m_pVideo, 4}};
    for (const auto& category : categories) {
        if (!category.first->isChecked())
            continue;
        boost::shared_ptr<CZelCheckFile> list = creator.CreateCheckFile(ZelCheckFileExtensions);
        LONG count = m_pParams ? m_pParams->GetListCount(category.second) : 0;
        for (LONG i = 0; i < count; ++i) {
            std::u16string extension;
            bool found = false;
            m_pParams->GetListString(category.second, i, extension, found);
            if (!found)
                continue;
            std::wstring wide = ZelUtf16ToWide(extension.data(), extension.size());
            list->SetParam(L"Add", wide.c_str());
        }
        root->SetParam(L"Add", list);
    }
    // Own extensions: every piece between vertical bars, empty ones too.
    if (m_pOwnExt->isChecked()) {
        boost::shared_ptr<CZelCheckFile> list = creator.CreateCheckFile(ZelCheckFileExtensions);
        for (const QString& piece : m_pOwnExtensions->text().split(QLatin1Char('|'))) {
            std::wstring wide = piece.toStdWString();
            list->SetParam(L"Add", wide.c_str());
        }
        root->SetParam(L"Add", list);
    }
    if (m_pSizeCheck->isChecked()) {
        const int64_t value = LeadingNumber(m_pSizeValue->text());
        const QString unit = m_pSizeUnit->currentText();
        uint64_t factor = 1;
        if (unit == QLatin1String("MB"))
            factor = 1048576;
        else if (unit == QLatin1String("GB"))
            factor = 1073741824;
        else if (unit == QLatin1String("KB"))
            factor = 1024;
        const uint64_t bytes = Product(static_cast<uint64_t>(value), factor);
        // Both bounds of a range are exclusive.
        uint64_t min = 0, max = 0;
        const QString comparison = m_pSizeCompare->currentText();
        if (comparison.startsWith(QLatin1Char('>'))) {
            min = bytes;
            max = UINT64_MAX;
        } else if (comparison.startsWith(QLatin1Char('<'))) {
            min = 0;
            max = bytes;
        } else {
            // "=": the files of that whole number of units,
            // value * unit <= size < (value + 1) * unit.
            min = bytes == 0 ? 0 : bytes - 1;
            max = Product(static_cast<uint64_t>(value) + 1, factor);
        }
        boost::shared_ptr<CZelCheckFile> range = creator.CreateCheckFile(ZelCheckFileSizeRange);
        range->SetParam(L"Min", min);
        range->SetParam(L"Max", max);
        root->SetParam(L"Add", range);
    }
    return root;
}

void CDialogFileRecovery::OnSearch()
{
    QList<QTreeWidgetItem*> selected = m_pVolumeList->selectedItems();
    if (selected.isEmpty() || !m_pSearch->isEnabled())
        return;
    const QString volume = selected.front()->data(0, VolumeRole).toString();

    m_pVolumeList->setEnabled(false);
    ShowFilterControls(false);
    m_pDestinationLabel->hide();
    m_pVolumeList->setEnabled(true);
    m_pSearch->hide();
    m_pFilterFrame->hide();
    m_Phase = Phase::Scanning;
    SetCaption(GetQText(24) + selected.front()->text(0) + QStringLiteral(" ..."));

    m_pScanTimer->stop();
    m_pScanTimer->start();
    m_pScanBar->setValue(m_pScanBar->minimum());
    m_pScanBar->show();

    boost::shared_ptr<CZelCheckFile> filter = BuildFilter(*m_pCheckFileCreator);
    m_SearchedVolume = volume;
    m_pWorker->Start(volume, this, filter);
}

void CDialogFileRecovery::OnScanTimer()
{
    boost::shared_ptr<CZelFileSystem> fileSystem = m_pWorker->FileSystem();
    if (!fileSystem)
        return;
    const int low = m_pScanBar->minimum();
    const int high = m_pScanBar->maximum();
    int position = m_pScanBar->value();
    if (fileSystem->GetName() == L"NTFS") {
        double progress = std::min(std::max(fileSystem->GetProgress(), 0.0), 1.0);
        m_pScanBar->setValue(low + static_cast<int>(progress * (high - low)));
        return;
    }
    // Without a measure of its own the bar goes to and fro.
    if (m_BounceUp != 0) {
        if (position < high) {
            position += 10;
        } else {
            position -= 10;
            m_BounceUp = 0;
        }
    } else if (position > low) {
        position -= 10;
    } else {
        position += 10;
        m_BounceUp = 1;
    }
    m_pScanBar->setValue(std::min(std::max(position, low), high));
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
    m_pVolumeList->hide();
    m_pFoundList->clear();
    m_pFoundList->header()->setSortIndicatorShown(false);
    m_pFoundList->show();
    m_pNarrow->clear();
    m_pNarrow->show();
    SetCaption(25);
    m_RowPositions.clear();
    m_Phase = Phase::Results;

    const std::vector<CZelFoundEntry>& found = m_pWorker->Found();
    QList<QTreeWidgetItem*> rows;
    for (size_t p = 0; p < found.size(); ++p) {
        const CZelFoundEntry& entry = found[p];
        if (entry.directory)
            continue;
        auto* item = new CFoundFileItem(QStringList{QString::fromStdString(entry.name), ZelFileSizeText(entry.size),
                                                    QString::fromStdString(entry.Path())});
        item->setData(0, kFoundPositionRole, static_cast<uint>(p));
        item->setData(0, SizeRole, static_cast<qulonglong>(entry.size));
        item->setToolTip(2, QString::fromStdString(entry.Path()));
        rows.append(item);
        m_RowPositions.push_back(static_cast<uint32_t>(p));
    }
    m_pFoundList->addTopLevelItems(rows);

    m_pRecover->show();
    m_pRecover->setEnabled(false);
    m_pNewSearch->show();
    m_pDestinationLabel->show();
    m_pDestination->clear();
    m_pDestination->show();
    m_pBrowse->setEnabled(true);
    m_pBrowse->show();
    m_pFilterFrame->hide();

    // A volume that could not be searched says why.
    const std::string error = m_pWorker->SearchError();
    if (!error.empty())
        ZelShowMessageBox(this, QString::fromStdString(error), QStringLiteral("Jex File Recovery"),
                          QMessageBox::Warning);
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
    m_pRecover->setEnabled(!SelectedFoundRows().empty());
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
        bool match = wanted.isEmpty() || item->text(0).contains(wanted, Qt::CaseInsensitive) ||
                     item->text(2).contains(wanted, Qt::CaseInsensitive);
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

void CDialogFileRecovery::OnBrowse()
{
    CZelFolderDialog browser;
    browser.SetTitle(GetQText(34));
    browser.SetFolder(m_pDestination->text());
    if (browser.Browse(this) == 1)
        SetDestination(browser.Folder());
}

void CDialogFileRecovery::SetDestination(const QString& folder)
{
    m_pDestination->setText(QDir::toNativeSeparators(folder));
}
