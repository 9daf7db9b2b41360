// The machine's volumes: snapshots of those present, and arrival and removal
// callbacks fired on the thread that owns the enumerator while it processes
// its notifications.
#pragma once

#include "jexfscore/ZelVolume.h"
#include "volumes/ZelVolumeNotifier.h"

class CZelVolumeEnumImpl : public CZelVolumeEnum {
public:
    // The machine's block devices, watched through libudev.
    CZelVolumeEnumImpl();
    // Devices from source; watched through libudev when watch is set.
    CZelVolumeEnumImpl(CZelDeviceSource source, bool watch);
    ~CZelVolumeEnumImpl() override;

    boost::shared_ptr<CZelVolumeInfoIterator> GetVolumeInfoIterator() override;
    void SetOnVolumeArrival(boost::shared_ptr<CZelVolumeCallback> callback) override;
    void SetOnVolumeRemoval(boost::shared_ptr<CZelVolumeCallback> callback) override;
    int GetNotificationHandle() override;
    void ProcessNotifications() override;

    // Feeds one event as the monitor would.
    void HandleEvent(const std::string& action, const std::string& syspath, const std::string& node,
                     bool mediumChanged = false)
    {
        m_Notifier.HandleEvent(action, syspath, node, mediumChanged);
    }
    const CZelVolumeNotifier& Notifier() const { return m_Notifier; }

private:
    typedef CZelCallbackWrapperRT<CZelVolumeEnumImpl, void, std::wstring> Relay;

    void OnArrival(std::wstring node);
    void OnRemoval(std::wstring node);

    CZelDeviceSource m_Source;
    CZelVolumeNotifier m_Notifier;
    boost::shared_ptr<Relay> m_pArrivalRelay;
    boost::shared_ptr<Relay> m_pRemovalRelay;
    boost::shared_ptr<CZelVolumeCallback> m_pArrival;
    boost::shared_ptr<CZelVolumeCallback> m_pRemoval;
};
