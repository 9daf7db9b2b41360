#include "volumes/ZelVolumeNotifier.h"

#include "jexcommon/ZelText.h"
#include "volumes/ZelClassWndSpecificForDevice.h"

#include <libudev.h>
#include <unistd.h>

namespace {

std::string Text(const char* value)
{
    return value != nullptr ? value : "";
}

} // namespace

CZelVolumeNotifier::CZelVolumeNotifier(CZelDeviceSource source, bool watch) : m_Source(std::move(source))
{
    struct udev* context = CZelDeviceWatchSingleton::get_const_instance().Context();
    if (watch && context != nullptr) {
        // Without a udev daemon the kernel's own events are read.
        const char* events = ::access("/run/udev/control", F_OK) == 0 ? "udev" : "kernel";
        m_pMonitor = udev_monitor_new_from_netlink(context, events);
        if (m_pMonitor != nullptr) {
            udev_monitor_filter_add_match_subsystem_devtype(m_pMonitor, "block", nullptr);
            if (udev_monitor_enable_receiving(m_pMonitor) != 0) {
                udev_monitor_unref(m_pMonitor);
                m_pMonitor = nullptr;
            }
        }
    }
    Refresh();
}

CZelVolumeNotifier::~CZelVolumeNotifier()
{
    if (m_pMonitor != nullptr)
        udev_monitor_unref(m_pMonitor);
    m_Table.clear();
    m_Arrival.reset();
    m_Removal.reset();
}

int CZelVolumeNotifier::GetHandle() const
{
    return m_pMonitor != nullptr ? udev_monitor_get_fd(m_pMonitor) : -1;
}

void CZelVolumeNotifier::Refresh()
{
    m_Table.clear();
    if (!m_Source)
        return;
    for (const CZelBlockDevice& device : m_Source())
        m_Table[device.syspath] = TableEntry{device.node, device.HasMedium()};
}

void CZelVolumeNotifier::Fire(const Callback& callback, const std::string& node)
{
    if (callback)
        callback->Fire(ZelNarrowToWide(node));
}

void CZelVolumeNotifier::ProcessEvents()
{
    if (m_pMonitor == nullptr)
        return;
    // The monitor's socket does not block: this ends when nothing is left.
    while (struct udev_device* device = udev_monitor_receive_device(m_pMonitor)) {
        if (Text(udev_device_get_subsystem(device)) == "block") {
            bool mediumChanged = Text(udev_device_get_property_value(device, "DISK_MEDIA_CHANGE")) == "1";
            HandleEvent(Text(udev_device_get_action(device)), Text(udev_device_get_syspath(device)),
                        Text(udev_device_get_devnode(device)), mediumChanged);
        }
        udev_device_unref(device);
    }
}

void CZelVolumeNotifier::HandleEvent(const std::string& action, const std::string& syspath, const std::string& node,
                                     bool mediumChanged)
{
    if (action == "add") {
        Refresh();
        if (m_Arrival && !node.empty())
            Fire(m_Arrival, node);
    } else if (action == "remove") {
        if (m_Removal) {
            // A device that was not in the table is entered with no node.
            std::string removed = m_Table[syspath].node;
            Fire(m_Removal, removed);
        }
        Refresh();
    } else if (action == "change") {
        // A medium that came or went (or was swapped) is a removal of what
        // was listed followed by an arrival of what is listed now.
        auto before = m_Table.find(syspath);
        bool wasListed = before != m_Table.end();
        TableEntry old = wasListed ? before->second : TableEntry{};
        Refresh();
        auto now = m_Table.find(syspath);
        bool isListed = now != m_Table.end();
        bool cameOrWent = wasListed != isListed || mediumChanged || (wasListed && old.medium != now->second.medium);
        if (!cameOrWent)
            return;
        if (wasListed)
            Fire(m_Removal, old.node);
        if (isListed)
            Fire(m_Arrival, now->second.node);
    }
}
