// The main window of JexFileRecovery. Its construction binds
// libJexFSCore.so from the program's folder and makes the core objects the
// window works with; its initialisation binds libJexVars.so, reads
// "Lang.vrl" and "Params.vrl", chooses the language and makes the controls.
//
// One client area serves four phases by showing and hiding controls: choose
// a volume (with the filter options), scanning, the list of found files, and
// the restore with its progress. Every control carries its identifier in the
// property "controlId". The layout's size is the smallest: the lists grow
// with the window, and what lies below or right of them moves along.
#pragma once

#include "ApplicationParams.h"
#include "ZelThreadFindDeletedFiles.h"
#include "jexfscore/ZelBinding.h"

#include <QElapsedTimer>
#include <QDialog>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSocketNotifier;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;
class CZelStaticLink;
class CDialogPreview;

class CDialogFileRecovery : public QDialog {
    Q_OBJECT
public:
    enum class Phase { ChooseVolume, Scanning, Results, Restoring, Restored };
    // Where a row of the found list keeps the position of its entry.
    static constexpr int kFoundPositionRole = Qt::UserRole;
    // The found list's columns.
    enum FoundColumn { kNameColumn = 0, kSizeColumn = 1, kEstimateColumn = 2, kPathColumn = 3 };
    // Identifiers of the controls the layout adds: the box that narrows the
    // found list, the button that adds an image file, the preview button.
    static constexpr int kNarrowBoxId = 130;
    static constexpr int kAddImageId = 131;
    static constexpr int kPreviewId = 132;
    static constexpr int kDeepSearchId = 133;
    static constexpr int kScanInfoId = 134;

    // programFolder holds the libraries and data files (the folder of the
    // program itself).
    explicit CDialogFileRecovery(const std::string& programFolder, QWidget* parent = nullptr);
    ~CDialogFileRecovery() override;

    // The core and its objects are there; without them the failure message
    // has been shown and the program ends.
    bool Bound() const { return m_Bound; }
    // Image files to list after the machine's volumes, so that they can be
    // searched like a device. Given before InitDialog, or followed by a
    // refill of the list.
    void SetImageFiles(const QStringList& paths);
    // Lists one more image file (or its partitions), as the command line
    // does; it is selected.
    void AddImageFile(const QString& path);
    // The data files are read and the controls made; false after the failure
    // message.
    bool InitDialog();
    bool HasRunTimeControls() const { return m_pVersionLabel != nullptr; }

    // Replaces the volumes the window lists and watches (the core's
    // enumerator by default) and lists them again.
    void UseVolumeEnum(boost::shared_ptr<CZelVolumeEnum> volumes);
    // The command that opens a device the user may not read (pkexec and
    // the helper by default, nothing when running as root); its last
    // argument is the device. Each device is asked for once per run, when
    // it is chosen; Search asks again after a refusal.
    void UseDeviceHelper(std::vector<std::string> command);
    // Replaces the factory of file-system objects the searches use (the
    // core's by default); only while no search runs.
    void UseFileSystemCreator(boost::shared_ptr<CZelFileSystemCreator> creator);
    // The filter group of the ticked options, made with creator.
    boost::shared_ptr<CZelCheckFile> BuildFilter(CZelCheckFileCreator& creator);

    Phase CurrentPhase() const { return m_Phase; }
    // The control with the identifier (the first one made for 129, the
    // destination label; Hint() is the other).
    QWidget* Control(int id) const;
    QLabel* Hint() const { return m_pHint; }
    // The identifiers of the controls shown now (129 once for each shown).
    std::vector<int> VisibleControls() const;
    // Where each row of the found list stands in the scan's order, as the
    // worker walks it; rows in the order shown.
    std::vector<uint32_t> ShownRowPositions() const;
    // The positions of the files the last restore list was made of.
    const std::vector<uint32_t>& RestorePositions() const { return m_RestorePositions; }

    CZelThreadFindDeletedFiles& Worker() { return *m_pWorker; }
    // The preview window, once a preview was asked for.
    CDialogPreview* Preview() const { return m_pPreview; }
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

    // The buttons and toggles, as a click calls them.
    void OnSearch();
    void OnRecover();
    void OnStopRestore();
    void OnBack();
    void OnNewSearch();
    void OnBrowse();
    void OnOwnExtToggle();
    void OnSizeToggle();
    // Sets the destination box as the folder browser would.
    void SetDestination(const QString& folder);
    // Shows only the found files whose name or path holds text.
    void NarrowFoundList(const QString& text);
    // Sorts the found list by a column, as a click on its header does.
    void SortFoundList(int column, Qt::SortOrder order);
    // Opens the preview window for the chosen file; it follows the choice.
    void OnPreview();
    // Picks an image file with a file dialog and lists it.
    void OnAddImage();

signals:
    void SearchDone();
    // The helper was asked for a device, and handed it over or not.
    void DeviceAsked(bool granted);
    void RestoreBegun(int index);
    void RestoreProgressed(double fraction);
    void RestoreEnded(int index);
    void RestoreFinished(bool stopped);

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool Bind();
    void CreateControls();
    void WatchVolumes();
    void SetCaption(uint32_t text);
    void SetCaption(const QString& caption);

    // Volumes.
    void FillVolumeList();
    void InsertVolumeRow(int row, CZelVolumeInfo& volume);
    void AppendImageRows(const QStringList& images);
    // Has the core read image as the GNU ddrescue map beside it describes
    // it, where there is one.
    void UseImageMap(const QString& image);
    // The hint for a volume of an image with a map beside it; empty when
    // it has none. refused: the map cannot be used.
    QString ImageMapHint(const QString& volume, bool& refused) const;
    void OnVolumeArrival(boost::shared_ptr<CZelVolumeInfo> volume);
    void OnVolumeRemoval(boost::shared_ptr<CZelVolumeInfo> volume);
    void OnVolumeSelChanged();
    void ShowFilterControls(bool show);
    void OnScanTimer();
    void HandleSearchDone();
    void OnFoundSelChanged();
    std::vector<QTreeWidgetItem*> SelectedFoundRows() const;
    // Fills the found list from the worker's scan.
    void FillFoundList();
    // Tells of the stretches of the volume the search could not read.
    void TellUnreadable();
    // Shows the chosen file in the preview window, when it is open.
    void UpdatePreview();
    // Empties and hides the preview window, when there is one.
    void HidePreview();
    // Places every control for the window's size.
    void LayOut();

    // Rights to read a device.
    std::vector<std::string> DefaultDeviceHelper() const;
    // Starts asking the helper for volume's device; false when it cannot.
    bool AskForDevice(const QString& volume);
    void DeviceHandedOver(const std::string& device, int fd, const std::string& error);

    // The restore.
    void HandleRestoreBegin(int index);
    void HandleRestoreProgress(double fraction);
    void HandleRestoreEnd(int index);
    void EndRestore(uint32_t message);
    void InfoMessage(const QString& text);

    // Hides the restore's controls and empties its list, for a new choice
    // of volume.
    void LeaveRestore();

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
    QSocketNotifier* m_pVolumeNotifier = nullptr;
    QStringList m_ImageFiles;
    // For each image with a GNU ddrescue map beside it: the map, and why it
    // cannot be used (empty when it is used).
    std::map<QString, std::pair<QString, QString>> m_ImageMaps;
    std::vector<std::string> m_DeviceHelper;
    std::set<QString> m_AskedDevices;
    bool m_Asking = false;
    // Why the helper handed over no device, the last time it was asked.
    QString m_RightsRefusal;
    Phase m_Phase = Phase::ChooseVolume;

    // The volume being searched, as its row names it.
    QString m_SearchedVolume;
    // For each row of the found list in the scan's order, the position of
    // its entry; each row also keeps its own.
    std::vector<uint32_t> m_RowPositions;
    int32_t m_BounceUp = 1;
    // The search under way is deep.
    bool m_DeepSearch = false;
    std::vector<uint32_t> m_SelectedRows;
    std::vector<uint32_t> m_RestorePositions;
    std::map<uint32_t, QString> m_RestoreNames;
    int32_t m_CurrentRow = 0;
    // Rows begun and ended so far in this restore.
    int32_t m_BegunCount = 0;
    int32_t m_EndedCount = 0;
    int32_t m_LastFilePercent = 0;
    int32_t m_StopRequested = 0;
    uint32_t m_PartialCount = 0;
    uint32_t m_FailedCount = 0;

    QTimer* m_pScanTimer = nullptr;
    QTreeWidget* m_pVolumeList = nullptr;
    QPushButton* m_pSearch = nullptr;
    QProgressBar* m_pScanBar = nullptr;
    QTreeWidget* m_pFoundList = nullptr;
    QLineEdit* m_pNarrow = nullptr;
    QPushButton* m_pRecover = nullptr;
    QTreeWidget* m_pRestoreList = nullptr;
    QLabel* m_pCurrentFile = nullptr;
    QProgressBar* m_pFileBar = nullptr;
    QLabel* m_pTotalLabel = nullptr;
    QProgressBar* m_pTotalBar = nullptr;
    QPushButton* m_pBack = nullptr;
    QPushButton* m_pStop = nullptr;
    QLabel* m_pFilePercent = nullptr;
    QLabel* m_pTotalPercent = nullptr;
    QPushButton* m_pBrowse = nullptr;
    CZelStaticLink* m_pPageLink = nullptr;
    CZelStaticLink* m_pMailLink = nullptr;
    QLabel* m_pVersionLabel = nullptr;
    QPushButton* m_pNewSearch = nullptr;
    QPushButton* m_pAddImage = nullptr;
    // A deep search: the whole volume is read.
    QCheckBox* m_pDeepSearch = nullptr;
    // The last volume asked whether a deep search can take it, and the
    // answer, while the volume is being chosen: the question reads the
    // volume, and would be asked again at each tick of Deep search.
    QString m_DeepProbeVolume;
    bool m_DeepProbeAnswer = false;
    // How far a search with a measure of its own is, and the time left.
    QLabel* m_pScanInfo = nullptr;
    QElapsedTimer m_ScanClock;
    QPushButton* m_pPreviewButton = nullptr;
    CDialogPreview* m_pPreview = nullptr;
    QGroupBox* m_pFilterFrame = nullptr;
    QCheckBox* m_pAudio = nullptr;
    QCheckBox* m_pVideo = nullptr;
    QCheckBox* m_pImages = nullptr;
    QCheckBox* m_pDocuments = nullptr;
    QCheckBox* m_pOwnExt = nullptr;
    QGroupBox* m_pSizeFrame = nullptr;
    QCheckBox* m_pSizeCheck = nullptr;
    QLabel* m_pDestinationLabel = nullptr;
    QLabel* m_pHint = nullptr;
    QLineEdit* m_pDestination = nullptr;
    QLineEdit* m_pOwnExtensions = nullptr;
    QLineEdit* m_pSizeValue = nullptr;
    QComboBox* m_pSizeCompare = nullptr;
    QComboBox* m_pSizeUnit = nullptr;
};

// An estimate as the found list shows it: "100% whole", "60% partly",
// "0% lost", or that the engine does not judge the file.
QString ZelEstimateText(int32_t estimate);
