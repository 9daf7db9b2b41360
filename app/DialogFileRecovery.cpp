#include "DialogFileRecovery.h"

#include "LanguageTable.h"
#include "MessagePresenter.h"
#include "VarBuilderSource.h"
#include "ZelStaticLink.h"
#include "jexcommon/ZelText.h"
#include "jexcommon/ZelVersion.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPalette>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSocketNotifier>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <boost/make_shared.hpp>

namespace {

// The window that shows the core's messages.
QPointer<CDialogFileRecovery>& MessageWindow()
{
    static QPointer<CDialogFileRecovery> window;
    return window;
}

// The core's messages, from whichever thread it calls: shown on the
// window's thread.
void CoreMessage(const wchar_t* text, const wchar_t* caption)
{
    QString messageText = QString::fromStdWString(text != nullptr ? text : L"");
    QString messageCaption = QString::fromStdWString(caption != nullptr ? caption : L"");
    if (CDialogFileRecovery* window = MessageWindow())
        QMetaObject::invokeMethod(window, "ShowCoreMessage", Qt::QueuedConnection, Q_ARG(QString, messageText),
                                  Q_ARG(QString, messageCaption));
}

// The client area, in pixels: the default and smallest size.
constexpr int ClientWidth = 618;
constexpr int ClientHeight = 413;

template <typename Control>
Control* Place(Control* control, int id, int left, int top, int right, int bottom)
{
    control->setGeometry(left, top, right - left, bottom - top);
    control->setProperty("controlId", id);
    // Where it lies at the smallest size; LayOut moves it from there.
    control->setProperty("baseGeometry", control->geometry());
    return control;
}

template <typename Control>
Control* PlaceSized(Control* control, int id, int left, int top, int width, int height)
{
    return Place(control, id, left, top, left + width, top + height);
}

// A report list: columns of the given texts and widths, grid-like, whole
// rows selected.
QTreeWidget* MakeList(QWidget* parent, const std::vector<std::pair<uint32_t, int>>& columns,
                      QAbstractItemView::SelectionMode selection)
{
    auto* list = new QTreeWidget(parent);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->setSelectionMode(selection);
    list->setAlternatingRowColors(true);
    list->setFrameShape(QFrame::Box);
    // Grid lines between the cells; a style sheet on the items also has to
    // paint the chosen rows.
    list->setStyleSheet(QStringLiteral("QTreeView::item { border-right: 1px solid palette(midlight);"
                                       " border-bottom: 1px solid palette(midlight); }"
                                       " QTreeView::item:selected { background: palette(highlight);"
                                       " color: palette(highlighted-text); }"));
    // The chosen rows stay as plain to see while another window (the folder
    // browser, a message) has the focus.
    QPalette colours = list->palette();
    for (QPalette::ColorRole role : {QPalette::Highlight, QPalette::HighlightedText})
        colours.setColor(QPalette::Inactive, role, colours.color(QPalette::Active, role));
    list->setPalette(colours);
    QStringList headers;
    for (const auto& column : columns)
        headers << GetQText(column.first);
    list->setHeaderLabels(headers);
    for (size_t i = 0; i < columns.size(); ++i)
        list->setColumnWidth(static_cast<int>(i), columns[i].second);
    return list;
}

QPushButton* MakeButton(QWidget* parent, const QString& text)
{
    auto* button = new QPushButton(text, parent);
    // Enter never clicks a button on its own: only a click, or Space on the
    // focused button, does.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QProgressBar* MakeBar(QWidget* parent)
{
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

} // namespace

CDialogFileRecovery::CDialogFileRecovery(const std::string& programFolder, QWidget* parent)
    : QDialog(parent), m_ProgramFolder(programFolder)
{
    setWindowTitle(QStringLiteral("JexFileRecovery"));
    m_Bound = Bind();
    // Without the core nothing of the window can work.
    if (!m_Bound)
        ZelShowReinstallMessage(this);
}

bool CDialogFileRecovery::Bind()
{
    std::string error;
    if (m_ProgramFolder.empty() || !m_Core.LoadFrom(m_ProgramFolder, error))
        return false;
    CZelCreator* creator = m_Core.GetCreator();
    if (creator == nullptr)
        return false;
    m_pVolumeEnum = creator->CreateVolumeEnum();
    m_pFileSystemCreator = creator->CreateFileSystemCreator();
    m_pCheckFileCreator = creator->CreateCheckFileCreator();
    if (!m_pVolumeEnum || !m_pFileSystemCreator || !m_pCheckFileCreator)
        return false;
    m_pVolumeIterator = m_pVolumeEnum->GetVolumeInfoIterator();
    if (!m_pVolumeIterator)
        return false;
    m_pArrivalCallback = boost::make_shared<VolumeCallback>(&CDialogFileRecovery::OnVolumeArrival, this);
    m_pRemovalCallback = boost::make_shared<VolumeCallback>(&CDialogFileRecovery::OnVolumeRemoval, this);
    m_pVolumeEnum->SetOnVolumeArrival(m_pArrivalCallback);
    m_pVolumeEnum->SetOnVolumeRemoval(m_pRemovalCallback);
    m_pWorker = std::make_unique<CZelThreadFindDeletedFiles>(*m_pFileSystemCreator);
    MessageWindow() = this;
    m_Core.SetMessageHandler(&CoreMessage);
    return true;
}

CDialogFileRecovery::~CDialogFileRecovery()
{
    if (MessageWindow() == this) {
        m_Core.SetMessageHandler(nullptr);
        MessageWindow() = nullptr;
    }
    delete m_pVolumeNotifier;
    m_pVolumeNotifier = nullptr;
    // The release order of the window's objects.
    m_pWorker.reset();
    if (m_pVolumeEnum) {
        m_pVolumeEnum->SetOnVolumeRemoval(nullptr);
        m_pVolumeEnum->SetOnVolumeArrival(nullptr);
    }
    m_pRemovalCallback.reset();
    m_pArrivalCallback.reset();
    m_pParams.reset();
    m_pCheckFileCreator.reset();
    m_pVolumeIterator.reset();
    m_pFileSystemCreator.reset();
    m_pVolumeEnum.reset();
}

void CDialogFileRecovery::SetImageFiles(const QStringList& paths)
{
    m_ImageFiles = paths;
}

bool CDialogFileRecovery::InitDialog()
{
    if (!m_Bound)
        return false;
    std::string error;
    if (!ZelSetVarsFolder(m_ProgramFolder, error)) {
        ZelShowReinstallMessage(this);
        return false;
    }
    m_pParams = std::make_shared<CApplicationParams>();
    if (FAILED(LoadLanguages(m_ProgramFolder + "/Lang.vrl")) || FAILED(m_pParams->ReadParams(m_ProgramFolder + "/Params.vrl"))) {
        ZelShowReinstallMessage(this);
        return false;
    }
    // The language the parameters name, or the first one.
    std::u16string name;
    bool found = false;
    m_pParams->GetLanguageName(name, found);
    if (found)
        SelectLanguage(name);
    else if (!ZelLanguageTable().Languages().empty())
        ZelLanguageTable().SetCurrent(0);

    m_DeviceHelper = DefaultDeviceHelper();
    SetCaption(0);
    CreateControls();
    ShowFilterControls(true);
    FillVolumeList();
    WatchVolumes();
    return true;
}

void CDialogFileRecovery::SetCaption(uint32_t text)
{
    SetCaption(GetQText(text));
}

void CDialogFileRecovery::SetCaption(const QString& caption)
{
    setWindowTitle(caption);
}

void CDialogFileRecovery::CreateControls()
{
    setMinimumSize(ClientWidth, ClientHeight);
    resize(ClientWidth, ClientHeight);
    setSizeGripEnabled(true);
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/jexfilerecovery-16.png"), QSize(16, 16));
    icon.addFile(QStringLiteral(":/icons/jexfilerecovery-32.png"), QSize(32, 32));
    setWindowIcon(icon);

    // Frames first: what lies on them is made later and so drawn above.
    m_pFilterFrame = Place(new QGroupBox(GetQText(16), this), 121, 10, 210, 430, 380);
    m_pSizeFrame = Place(new QGroupBox(GetQText(6), this), 127, 20, 320, 420, 360);

    m_pVolumeList = Place(MakeList(this, {{1, 100}, {2, 130}, {3, 300}}, QAbstractItemView::SingleSelection), 100,
                          0, 0, 618, 200);
    // A long path keeps its end in sight: the image's name and partition.
    m_pVolumeList->setTextElideMode(Qt::ElideLeft);
    m_pSearch = Place(MakeButton(this, GetQText(4)), 101, 440, 325, 615, 380);
    m_pScanBar = Place(MakeBar(this), 102, 10, 220, 608, 255);
    // The found list leaves room below it for the box that narrows it.
    // The path comes last: it takes what the window's width leaves.
    m_pFoundList = Place(MakeList(this, {{5, 100}, {6, 140}, {43, 110}, {7, 250}}, QAbstractItemView::ExtendedSelection),
                         103, 0, 0, 618, 294);
    m_pNarrow = Place(new QLineEdit(this), kNarrowBoxId, 10, 298, 435, 320);
    m_pPreviewButton = Place(MakeButton(this, GetQText(53)), kPreviewId, 440, 298, 615, 322);
    m_pPreviewButton->setEnabled(false);
    m_pNarrow->setPlaceholderText(GetQText(42));
    m_pNarrow->setClearButtonEnabled(true);
    m_pRecover = Place(MakeButton(this, GetQText(8)), 104, 440, 340, 615, 380);
    m_pRestoreList = Place(MakeList(this, {{5, 350}, {9, 100}}, QAbstractItemView::ExtendedSelection), 105, 0, 0,
                           618, 250);
    m_pCurrentFile = Place(new QLabel(GetQText(10), this), 106, 10, 260, 450, 280);
    m_pFileBar = Place(MakeBar(this), 107, 10, 280, 605, 300);
    m_pTotalLabel = Place(new QLabel(GetQText(11), this), 108, 10, 310, 150, 330);
    m_pTotalBar = Place(MakeBar(this), 109, 10, 330, 605, 350);
    m_pBack = Place(MakeButton(this, GetQText(12)), 110, 460, 360, 605, 390);
    m_pStop = Place(MakeButton(this, GetQText(13)), 111, 300, 360, 445, 390);
    m_pFilePercent = Place(new QLabel(QStringLiteral("0%"), this), 112, 460, 260, 605, 280);
    m_pFilePercent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_pTotalPercent = Place(new QLabel(QStringLiteral("0%"), this), 113, 400, 310, 605, 330);
    m_pTotalPercent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_pBrowse = Place(MakeButton(this, QStringLiteral("...")), 116, 395, 355, 415, 375);

    const QUrl page(QStringLiteral(ZEL_PRODUCT_PAGE));
    m_pPageLink = Place(new CZelStaticLink(this), 117, 10, 390, 200, 410);
    m_pPageLink->setText(page.host());
    m_pPageLink->SetTarget(page.toString());
    m_pMailLink = Place(new CZelStaticLink(this), 118, 400, 390, 605, 410);
    // The address is shown without its scheme, and opened as a mail link.
    QString address = QStringLiteral(ZEL_SUPPORT_ADDRESS);
    if (address.startsWith(QLatin1String("mailto:")))
        address.remove(0, 7);
    m_pMailLink->setText(address);
    m_pMailLink->SetTarget(QStringLiteral("mailto:") + address);
    m_pMailLink->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_pVersionLabel = Place(new QLabel(GetQText(14) + QStringLiteral(ZEL_VERSION_TEXT), this), 119, 200,
                            390, 405, 410);
    for (QLabel* label : {static_cast<QLabel*>(m_pPageLink), static_cast<QLabel*>(m_pMailLink), m_pVersionLabel}) {
        QPalette colours = label->palette();
        colours.setColor(QPalette::WindowText, QColor(20, 0, 255));
        label->setPalette(colours);
    }

    m_pNewSearch = Place(MakeButton(this, GetQText(15)), 120, 280, 325, 435, 347);
    m_pAudio = Place(new QCheckBox(GetQText(17), this), 122, 30, 230, 200, 250);
    m_pVideo = Place(new QCheckBox(GetQText(18), this), 123, 210, 230, 400, 250);
    m_pImages = Place(new QCheckBox(GetQText(19), this), 124, 30, 260, 200, 280);
    m_pDocuments = Place(new QCheckBox(GetQText(20), this), 125, 210, 260, 400, 280);
    m_pOwnExt = Place(new QCheckBox(GetQText(21), this), 126, 30, 290, 200, 310);
    m_pSizeCheck = Place(new QCheckBox(this), 128, 30, 334, 60, 355);
    m_pDestinationLabel = Place(new QLabel(GetQText(22), this), 129, 10, 328, 260, 348);
    m_pHint = Place(new QLabel(this), 129, 440, 210, 615, 262);
    m_pHint->setWordWrap(true);
    m_pHint->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_pAddImage = Place(MakeButton(this, GetQText(54)), kAddImageId, 440, 266, 615, 294);
    m_pDeepSearch = Place(new QCheckBox(GetQText(65), this), kDeepSearchId, 442, 298, 615, 320);
    m_pDeepSearch->setToolTip(GetQText(66));
    m_pScanInfo = Place(new QLabel(this), kScanInfoId, 10, 260, 608, 280);

    m_pDestination = PlaceSized(new QLineEdit(this), 1004, 10, 355, 380, 20);
    m_pDestination->setReadOnly(true);
    m_pOwnExtensions = PlaceSized(new QLineEdit(this), 1006, 210, 290, 190, 20);
    m_pSizeValue = PlaceSized(new QLineEdit(this), 1008, 140, 335, 160, 20);
    m_pSizeValue->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_pSizeValue));
    m_pSizeCompare = PlaceSized(new QComboBox(this), 1009, 70, 334, 60, 20);
    m_pSizeUnit = PlaceSized(new QComboBox(this), 1010, 310, 334, 50, 20);
    // Both lists keep their lines sorted and start on the first one.
    for (QComboBox* box : {m_pSizeCompare, m_pSizeUnit}) {
        box->setInsertPolicy(QComboBox::InsertAlphabetically);
        box->setEditable(false);
    }
    QStringList comparisons{QStringLiteral("<"), QStringLiteral("="), QStringLiteral(">")};
    QStringList units{QStringLiteral("GB"), QStringLiteral("MB"), QStringLiteral("KB")};
    comparisons.sort();
    units.sort();
    m_pSizeCompare->addItems(comparisons);
    m_pSizeUnit->addItems(units);
    m_pSizeCompare->setCurrentIndex(0);
    m_pSizeUnit->setCurrentIndex(0);

    m_pScanTimer = new QTimer(this);
    m_pScanTimer->setInterval(150);

    // Everything but the choose-volume phase starts hidden.
    for (QWidget* hidden : std::initializer_list<QWidget*>{
             m_pScanBar, m_pFoundList, m_pNarrow, m_pRecover, m_pRestoreList, m_pCurrentFile, m_pFileBar,
             m_pTotalLabel, m_pTotalBar, m_pBack, m_pStop, m_pFilePercent, m_pTotalPercent, m_pBrowse,
             m_pNewSearch, m_pDestination, m_pPreviewButton, m_pScanInfo})
        hidden->hide();
    m_pSearch->setEnabled(false);

    // The tab order follows the controls' places, top to bottom.
    setTabOrder(m_pVolumeList, m_pAddImage);
    setTabOrder(m_pAddImage, m_pAudio);
    setTabOrder(m_pAudio, m_pVideo);
    setTabOrder(m_pVideo, m_pImages);
    setTabOrder(m_pImages, m_pDocuments);
    setTabOrder(m_pDocuments, m_pOwnExt);
    setTabOrder(m_pOwnExt, m_pOwnExtensions);
    setTabOrder(m_pOwnExtensions, m_pSizeCheck);
    setTabOrder(m_pSizeCheck, m_pSizeCompare);
    setTabOrder(m_pSizeCompare, m_pSizeValue);
    setTabOrder(m_pSizeValue, m_pSizeUnit);
    setTabOrder(m_pSizeUnit, m_pDeepSearch);
    setTabOrder(m_pDeepSearch, m_pSearch);
    setTabOrder(m_pSearch, m_pFoundList);
    setTabOrder(m_pFoundList, m_pNarrow);
    setTabOrder(m_pNarrow, m_pPreviewButton);
    setTabOrder(m_pPreviewButton, m_pNewSearch);
    setTabOrder(m_pNewSearch, m_pBrowse);
    setTabOrder(m_pBrowse, m_pRecover);
    setTabOrder(m_pRecover, m_pRestoreList);
    setTabOrder(m_pRestoreList, m_pStop);
    setTabOrder(m_pStop, m_pBack);
    setTabOrder(m_pBack, m_pPageLink);

    connect(m_pVolumeList, &QTreeWidget::itemSelectionChanged, this, &CDialogFileRecovery::OnVolumeSelChanged);
    connect(m_pSearch, &QPushButton::clicked, this, &CDialogFileRecovery::OnSearch);
    connect(m_pScanTimer, &QTimer::timeout, this, &CDialogFileRecovery::OnScanTimer);
    connect(m_pFoundList, &QTreeWidget::itemSelectionChanged, this, &CDialogFileRecovery::OnFoundSelChanged);
    connect(m_pFoundList->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        QHeaderView* header = m_pFoundList->header();
        Qt::SortOrder order = Qt::AscendingOrder;
        if (header->isSortIndicatorShown() && header->sortIndicatorSection() == column &&
            header->sortIndicatorOrder() == Qt::AscendingOrder)
            order = Qt::DescendingOrder;
        SortFoundList(column, order);
    });
    connect(m_pNarrow, &QLineEdit::textChanged, this, &CDialogFileRecovery::NarrowFoundList);
    connect(m_pOwnExt, &QCheckBox::clicked, this, &CDialogFileRecovery::OnOwnExtToggle);
    connect(m_pSizeCheck, &QCheckBox::clicked, this, &CDialogFileRecovery::OnSizeToggle);
    connect(m_pBrowse, &QPushButton::clicked, this, &CDialogFileRecovery::OnBrowse);
    connect(m_pRecover, &QPushButton::clicked, this, &CDialogFileRecovery::OnRecover);
    connect(m_pStop, &QPushButton::clicked, this, &CDialogFileRecovery::OnStopRestore);
    connect(m_pBack, &QPushButton::clicked, this, &CDialogFileRecovery::OnBack);
    connect(m_pNewSearch, &QPushButton::clicked, this, &CDialogFileRecovery::OnNewSearch);
    connect(m_pAddImage, &QPushButton::clicked, this, &CDialogFileRecovery::OnAddImage);
    // Whether a volume can be searched depends on the kind of search.
    connect(m_pDeepSearch, &QCheckBox::toggled, this, &CDialogFileRecovery::OnVolumeSelChanged);
    connect(m_pPreviewButton, &QPushButton::clicked, this, &CDialogFileRecovery::OnPreview);
    // A double click on a found file shows it.
    connect(m_pFoundList, &QTreeWidget::itemDoubleClicked, this, [this] { OnPreview(); });
}

void CDialogFileRecovery::WatchVolumes()
{
    delete m_pVolumeNotifier;
    m_pVolumeNotifier = nullptr;
    int handle = m_pVolumeEnum ? m_pVolumeEnum->GetNotificationHandle() : -1;
    if (handle < 0)
        return;
    // Volume events are read and dispatched on this thread, so the list is
    // only ever changed here.
    m_pVolumeNotifier = new QSocketNotifier(handle, QSocketNotifier::Read, this);
    connect(m_pVolumeNotifier, &QSocketNotifier::activated, this, [this] {
        if (m_pVolumeEnum)
            m_pVolumeEnum->ProcessNotifications();
    });
}

void CDialogFileRecovery::UseVolumeEnum(boost::shared_ptr<CZelVolumeEnum> volumes)
{
    if (m_pVolumeEnum) {
        m_pVolumeEnum->SetOnVolumeRemoval(nullptr);
        m_pVolumeEnum->SetOnVolumeArrival(nullptr);
    }
    m_pVolumeEnum = std::move(volumes);
    m_pVolumeIterator.reset();
    if (m_pVolumeEnum) {
        m_pVolumeEnum->SetOnVolumeArrival(m_pArrivalCallback);
        m_pVolumeEnum->SetOnVolumeRemoval(m_pRemovalCallback);
    }
    if (m_pVolumeList != nullptr) {
        FillVolumeList();
        WatchVolumes();
    }
}

void CDialogFileRecovery::UseFileSystemCreator(boost::shared_ptr<CZelFileSystemCreator> creator)
{
    if (!creator || (m_pWorker && m_pWorker->Started()))
        return;
    m_pWorker = std::make_unique<CZelThreadFindDeletedFiles>(*creator);
    m_pFileSystemCreator = std::move(creator);
}

QWidget* CDialogFileRecovery::Control(int id) const
{
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        if (child->property("controlId").toInt() == id)
            return child;
    return nullptr;
}

std::vector<int> CDialogFileRecovery::VisibleControls() const
{
    std::vector<int> shown;
    for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        QVariant id = child->property("controlId");
        if (id.isValid() && child->isVisibleTo(this))
            shown.push_back(id.toInt());
    }
    std::sort(shown.begin(), shown.end());
    return shown;
}

void CDialogFileRecovery::InfoMessage(const QString& text)
{
    ZelShowMessageBox(this, text, QStringLiteral("Jex File Recovery"), QMessageBox::Information);
}

void CDialogFileRecovery::ShowCoreMessage(const QString& text, const QString& caption)
{
    ZelShowMessageBox(this, text, caption, QMessageBox::Warning);
}

void CDialogFileRecovery::keyPressEvent(QKeyEvent* event)
{
    // Enter and Escape do nothing to the window: a stray key neither closes
    // it nor presses a button. Tab moves the focus as usual.
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}
