#include "DialogFileRecovery.h"

#include "LanguageTable.h"
#include "MessagePresenter.h"
#include "VarBuilderSource.h"
#include "jexcommon/ZelText.h"
#include "jexcommon/ZelVersion.h"

#include <QLabel>
#include <QMetaObject>
#include <QPointer>

#include <boost/make_shared.hpp>

namespace {

QString FromUtf16(const std::u16string& text)
{
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

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

    setWindowTitle(FromUtf16(GetText(0)));
    m_pVersionLabel = new QLabel(FromUtf16(GetText(14)) + QStringLiteral(ZEL_VERSION_TEXT), this);
    m_pVersionLabel->setProperty("controlId", 116);
    return true;
}

void CDialogFileRecovery::OnVolumeArrival(boost::shared_ptr<CZelVolumeInfo> /*volume*/) {}

void CDialogFileRecovery::OnVolumeRemoval(boost::shared_ptr<CZelVolumeInfo> /*volume*/) {}

void CDialogFileRecovery::OnSearchDone()
{
    emit SearchDone();
}

void CDialogFileRecovery::OnRestoreBegin(int index)
{
    emit RestoreBegun(index);
}

void CDialogFileRecovery::OnRestoreProgress(double fraction)
{
    emit RestoreProgressed(fraction);
}

void CDialogFileRecovery::OnRestoreEnd(int index)
{
    emit RestoreEnded(index);
}

void CDialogFileRecovery::OnRestoreFinished(bool stopped)
{
    emit RestoreFinished(stopped);
}

void CDialogFileRecovery::ShowCoreMessage(const QString& text, const QString& caption)
{
    ZelShowMessageBox(this, text, caption, QMessageBox::Warning);
}
