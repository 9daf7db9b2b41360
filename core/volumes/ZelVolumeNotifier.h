// Watches volumes come and go: a libudev monitor on subsystem "block", and a
// table of the volume devices present (udev syspath to device node), so that
// a removal can still be named after the device is gone. Events are read by
// ProcessEvents on the thread that owns the notifier, which fires the
// callbacks there.
#pragma once

#include "jexfscore/ZelCallback.h"
#include "jexplatform/BlockDevices.h"

#include <boost/shared_ptr.hpp>

#include <functional>
#include <map>
#include <string>
#include <vector>

struct udev_monitor;

// Where the volume devices present now come from.
typedef std::function<std::vector<CZelBlockDevice>()> CZelDeviceSource;

class CZelVolumeNotifier {
public:
    typedef boost::shared_ptr<CZelFireCallbackRT<void, std::wstring>> Callback;

    struct TableEntry {
        std::string node;
        bool medium = false;
    };

    // With watch set, the libudev monitor is opened; without, events come
    // only through HandleEvent.
    CZelVolumeNotifier(CZelDeviceSource source, bool watch);
    ~CZelVolumeNotifier();
    CZelVolumeNotifier(const CZelVolumeNotifier&) = delete;
    CZelVolumeNotifier& operator=(const CZelVolumeNotifier&) = delete;

    // The monitor's descriptor for an event loop, -1 when there is none.
    int GetHandle() const;
    // Reads every pending event and handles it.
    void ProcessEvents();
    // One udev event: "add" is an arrival, "remove" a removal, and "change"
    // on a disk whose medium came or went a removal or an arrival (both,
    // when the medium was swapped).
    void HandleEvent(const std::string& action, const std::string& syspath, const std::string& node,
                     bool mediumChanged);
    void Refresh();

    void SetArrivalCallback(Callback callback) { m_Arrival = std::move(callback); }
    void SetRemovalCallback(Callback callback) { m_Removal = std::move(callback); }
    const std::map<std::string, TableEntry>& Table() const { return m_Table; }

private:
    void Fire(const Callback& callback, const std::string& node);

    struct udev_monitor* m_pMonitor = nullptr;
    Callback m_Arrival;
    Callback m_Removal;
    std::map<std::string, TableEntry> m_Table;
    CZelDeviceSource m_Source;
};
