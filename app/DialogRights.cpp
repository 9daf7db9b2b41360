// The main window's rights to read a device: the window runs as the user,
// and a device the user may not read is opened by the helper, through
// pkexec, once it is chosen; the descriptor it hands over is granted to the
// core and to the window's own checks.
#include "DialogFileRecovery.h"

#include "LanguageTable.h"
#include "jexplatform/DeviceGrants.h"
#include "jexplatform/DeviceHelper.h"
#include "jexplatform/VolumePath.h"

#include <QCoreApplication>
#include <QLabel>
#include <QMetaObject>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>

#include <memory>
#include <thread>

#include <unistd.h>

namespace {

// A descriptor that is closed unless taken.
struct CZelHandedDevice {
    int fd = -1;
    ~CZelHandedDevice()
    {
        if (fd >= 0)
            ::close(fd);
    }
    int Take()
    {
        int taken = fd;
        fd = -1;
        return taken;
    }
};

} // namespace

std::vector<std::string> CDialogFileRecovery::DefaultDeviceHelper() const
{
    // Root reads devices itself; everyone else asks through pkexec, which
    // finds the helper's own action by its installed path.
    if (::geteuid() == 0 || m_ProgramFolder.empty())
        return {};
    return {"pkexec", m_ProgramFolder + "/jexfilerecovery-open"};
}

void CDialogFileRecovery::UseDeviceHelper(std::vector<std::string> command)
{
    m_DeviceHelper = std::move(command);
    m_AskedDevices.clear();
}

bool CDialogFileRecovery::AskForDevice(const QString& volume)
{
    const std::string device = ZelResolveVolumePath(volume.toStdString()).device;
    if (m_DeviceHelper.empty() || device.empty() || m_Asking)
        return false;
    m_Asking = true;
    m_AskedDevices.insert(volume);
    m_pHint->setText(GetQText(64));
    m_pHint->setToolTip(QString());
    m_pSearch->setEnabled(false);
    // The helper waits for the password: the window goes on meanwhile.
    QPointer<CDialogFileRecovery> window(this);
    std::vector<std::string> command = m_DeviceHelper;
    std::thread([window, command, device] {
        auto handed = std::make_shared<CZelHandedDevice>();
        auto error = std::make_shared<std::string>();
        handed->fd = ZelOpenThroughHelper(command, device, *error);
        // Told through the application, which outlives the window: the
        // window may be gone by now, and is only looked at on its thread.
        if (QCoreApplication* application = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                application,
                [window, handed, error, device] {
                    if (window)
                        window->DeviceHandedOver(device, handed->Take(), *error);
                },
                Qt::QueuedConnection);
    }).detach();
    return true;
}

void CDialogFileRecovery::DeviceHandedOver(const std::string& device, int fd, const std::string& error)
{
    m_Asking = false;
    if (fd >= 0) {
        // The core keeps a descriptor of its own; this one serves the
        // window's checks.
        m_Core.GrantDevice(device, fd);
        ZelGrantDevice(device, fd);
    } else {
        m_RightsRefusal = QString::fromStdString(error);
    }
    // The choice is judged again: this volume, or another one chosen
    // meanwhile (which may be asked for now in its turn).
    if (m_Phase == Phase::ChooseVolume)
        OnVolumeSelChanged();
    emit DeviceAsked(fd >= 0);
}
