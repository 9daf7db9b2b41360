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
#include "jexplatform/RescueMap.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTime>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

namespace {

// Where a volume row keeps the text that names its volume.
constexpr int VolumeRole = Qt::UserRole;

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
    AppendImageRows(m_ImageFiles);
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

void CDialogFileRecovery::AppendImageRows(const QStringList& images)
{
    // Image files come after the machine's volumes, by the paths given made
    // whole (the found paths begin with the image's own name). A whole-disk
    // image shows its partitions, each named IMAGE@pN.
    for (const QString& given : images) {
        QFileInfo file(given);
        const QString path = file.absoluteFilePath();
        UseImageMap(path);
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

void CDialogFileRecovery::UseImageMap(const QString& image)
{
    const std::string map = ZelRescueMapBeside(image.toStdString());
    if (map.empty())
        return;
    std::string error;
    m_Core.UseRescueMap(image.toStdString(), map, error);
    m_ImageMaps[image] = {QString::fromStdString(map), QString::fromStdString(error)};
}

QString CDialogFileRecovery::ImageMapHint(const QString& volume, bool& refused) const
{
    refused = false;
    for (const auto& [image, map] : m_ImageMaps) {
        if (volume != image && !volume.startsWith(image + QStringLiteral("@p")))
            continue;
        refused = !map.second.isEmpty();
        return refused ? GetQText(71).arg(map.first, map.second) : GetQText(70).arg(map.first);
    }
    return QString();
}

void CDialogFileRecovery::AddImageFile(const QString& path)
{
    if (path.isEmpty() || m_pVolumeList == nullptr)
        return;
    const QString whole = QFileInfo(path).absoluteFilePath();
    if (!m_ImageFiles.contains(whole) && !m_ImageFiles.contains(path)) {
        m_ImageFiles.append(whole);
        const int before = m_pVolumeList->topLevelItemCount();
        // Only the new image's rows are added: the others keep their place
        // and the choice.
        AppendImageRows({whole});
        if (m_Phase == Phase::ChooseVolume && m_pVolumeList->topLevelItemCount() > before)
            m_pVolumeList->setCurrentItem(m_pVolumeList->topLevelItem(before));
        return;
    }
    // Listed already: it is chosen.
    for (int i = 0; i < m_pVolumeList->topLevelItemCount(); ++i) {
        const QString volume = m_pVolumeList->topLevelItem(i)->data(0, VolumeRole).toString();
        if ((volume == whole || volume.startsWith(whole + QStringLiteral("@p"))) && m_Phase == Phase::ChooseVolume) {
            m_pVolumeList->setCurrentItem(m_pVolumeList->topLevelItem(i));
            break;
        }
    }
}

void CDialogFileRecovery::OnAddImage()
{
    if (m_Phase != Phase::ChooseVolume)
        return;
    const QString path = ZelPickImageFile(this, GetQText(55), GetQText(56));
    if (!path.isEmpty())
        AddImageFile(path);
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
        // Asked for once per device and run, as soon as it is chosen;
        // after a refusal Search asks again.
        if (m_AskedDevices.count(volume) == 0 && AskForDevice(volume))
            return;
        m_pSearch->setEnabled(!m_DeviceHelper.empty() && !m_Asking);
        m_pHint->setText(GetQText(m_Asking ? 64 : 41));
        m_pHint->setToolTip(m_RightsRefusal.isEmpty() ? GetQText(41) : GetQText(50).arg(m_RightsRefusal));
        return;
    }
    std::wstring reason;
    boost::shared_ptr<CZelFileSystem> probe =
        m_pFileSystemCreator->CreateFileSystemEx(volume.toStdWString().c_str(), reason);
    bool supported = static_cast<bool>(probe);
    probe.reset();
    // A volume with no file system left can still be searched deeply: its
    // files are looked for in its data.
    if (!supported && m_DeepProbeVolume != volume) {
        std::wstring deepReason;
        m_DeepProbeAnswer = static_cast<bool>(
            m_pFileSystemCreator->CreateFileSystemForDeepSearch(volume.toStdWString().c_str(), deepReason));
        m_DeepProbeVolume = volume;
    }
    const bool deepOnly = !supported && m_DeepProbeAnswer;
    // An image read through a map says so; one whose map cannot be used is
    // not searched: without it, what the copy could not read would pass
    // for data.
    bool refused = false;
    const QString mapHint = ImageMapHint(volume, refused);
    const bool searchable = !refused && (supported || (deepOnly && m_pDeepSearch->isChecked()));
    m_pSearch->setEnabled(searchable);
    QString hint = refused || searchable ? QString() : GetQText(deepOnly ? 68 : 35);
    if (!mapHint.isEmpty())
        hint += (hint.isEmpty() ? QString() : QStringLiteral(" ")) + mapHint;
    m_pHint->setText(hint);
    // A map's hint names a path and a reason that the label may not hold
    // whole: the tooltip does.
    m_pHint->setToolTip(!mapHint.isEmpty()              ? hint
                        : supported || reason.empty() ? QString()
                                                      : GetQText(50).arg(QString::fromStdWString(reason)));
}

void CDialogFileRecovery::ShowFilterControls(bool show)
{
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_pSizeCompare, m_pSizeUnit, m_pSizeValue, m_pFilterFrame, m_pAudio, m_pVideo, m_pImages, m_pDocuments,
             m_pOwnExt, m_pSizeFrame, m_pSizeCheck, m_pOwnExtensions, m_pHint, m_pAddImage, m_pDeepSearch})
        control->setVisible(show);
    if (show) {
        m_Phase = Phase::ChooseVolume;
        // A volume may have changed since it was last asked about.
        m_DeepProbeVolume.clear();
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
    // Documents, audio, images, video and the user's own extensions are one
    // list: a file is found when its extension is in any of those ticked.
    boost::shared_ptr<CZelCheckFile> list;
    auto add = [&](const std::wstring& extension) {
        if (!list)
            list = creator.CreateCheckFile(ZelCheckFileExtensions);
        if (list)
            list->SetParam(L"Add", extension.c_str());
    };
    const std::pair<QCheckBox*, LONG> categories[] = {{m_pDocuments, 1}, {m_pAudio, 2}, {m_pImages, 3}, {m_pVideo, 4}};
    for (const auto& category : categories) {
        if (!category.first->isChecked())
            continue;
        LONG count = m_pParams ? m_pParams->GetListCount(category.second) : 0;
        for (LONG i = 0; i < count; ++i) {
            std::u16string extension;
            bool found = false;
            m_pParams->GetListString(category.second, i, extension, found);
            if (found)
                add(ZelUtf16ToWide(extension.data(), extension.size()));
        }
        // A category without extensions still narrows the search.
        if (!list)
            list = creator.CreateCheckFile(ZelCheckFileExtensions);
    }
    // Own extensions: every piece between vertical bars, empty ones too.
    if (m_pOwnExt->isChecked())
        for (const QString& piece : m_pOwnExtensions->text().split(QLatin1Char('|')))
            add(piece.toStdWString());
    if (list)
        root->SetParam(L"Add", list);
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
        // The range's bounds are exclusive; without a minimum it starts at
        // 0 bytes, empty files included.
        boost::shared_ptr<CZelCheckFile> range = creator.CreateCheckFile(ZelCheckFileSizeRange);
        const QString comparison = m_pSizeCompare->currentText();
        if (comparison.startsWith(QLatin1Char('>'))) {
            range->SetParam(L"Min", bytes);
            range->SetParam(L"Max", uint64_t(UINT64_MAX));
        } else if (comparison.startsWith(QLatin1Char('<'))) {
            range->SetParam(L"Max", bytes);
        } else {
            // "=": the files of that whole number of units,
            // value * unit <= size < (value + 1) * unit.
            if (bytes != 0)
                range->SetParam(L"Min", uint64_t(bytes - 1));
            range->SetParam(L"Max", Product(static_cast<uint64_t>(value) + 1, factor));
        }
        root->SetParam(L"Add", range);
    }
    return root;
}

void CDialogFileRecovery::OnSearch()
{
    QList<QTreeWidgetItem*> selected = m_pVolumeList->selectedItems();
    // Not while the last worker is still being waited for.
    if (selected.isEmpty() || !m_pSearch->isEnabled() || m_pWorker->Stopping())
        return;
    const QString volume = selected.front()->data(0, VolumeRole).toString();
    // A device the user may not read: the rights are asked for again.
    if (ZelLacksReadPermission(volume.toStdString())) {
        AskForDevice(volume);
        return;
    }

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
    // A search can be stopped: what it found so far is listed.
    m_pScanInfo->clear();
    m_pScanInfo->show();
    m_pStop->setEnabled(true);
    m_pStop->show();
    m_ScanClock.start();

    boost::shared_ptr<CZelCheckFile> filter = BuildFilter(*m_pCheckFileCreator);
    m_SearchedVolume = volume;
    m_DeepSearch = m_pDeepSearch->isChecked();
    m_pWorker->Start(volume, this, filter, m_DeepSearch);
}

void CDialogFileRecovery::OnScanTimer()
{
    boost::shared_ptr<CZelFileSystem> fileSystem = m_pWorker->FileSystem();
    if (!fileSystem)
        return;
    const int low = m_pScanBar->minimum();
    const int high = m_pScanBar->maximum();
    int position = m_pScanBar->value();
    // NTFS scans and deep searches measure their progress; a deep search,
    // which reads the whole volume, tells the time left too.
    if (m_DeepSearch || fileSystem->GetName() == L"NTFS") {
        double progress = std::min(std::max(fileSystem->GetProgress(), 0.0), 1.0);
        m_pScanBar->setValue(low + static_cast<int>(progress * (high - low)));
        const double elapsed = static_cast<double>(m_ScanClock.elapsed()) / 1000.0;
        if (m_DeepSearch && progress >= 0.02 && progress < 1.0 && elapsed >= 2.0) {
            const qint64 left = static_cast<qint64>(elapsed * (1.0 - progress) / progress + 0.5);
            const QString time = left >= 3600 ? QTime(0, 0).addSecs(static_cast<int>(std::min<qint64>(left, 86399)))
                                                    .toString(QStringLiteral("h:mm:ss"))
                                              : QTime(0, 0).addSecs(static_cast<int>(left)).toString(QStringLiteral("mm:ss"));
            // The bytes read of the volume, which a deep search reads about
            // once, where the engine tells them.
            uint64_t read = 0, volumeBytes = 0;
            fileSystem->GetReadProgress(read, volumeBytes);
            m_pScanInfo->setText(volumeBytes != 0 ? GetQText(69)
                                                        .arg(ZelShortSizeText(std::min(read, volumeBytes)))
                                                        .arg(ZelShortSizeText(volumeBytes))
                                                        .arg(time)
                                                  : GetQText(67).arg(static_cast<int>(progress * 100.0)).arg(time));
        }
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
