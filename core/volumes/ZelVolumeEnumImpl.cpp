#include "volumes/ZelVolumeEnumImpl.h"

#include "volumes/ZelClassWndSpecificForDevice.h"
#include "volumes/ZelVolumeInfoImpl.h"
#include "volumes/ZelVolumeInfoIteratorImpl.h"

#include <boost/make_shared.hpp>

namespace {

std::vector<CZelBlockDevice> MachineDevices()
{
    return ZelListVolumeDevices(CZelDeviceWatchSingleton::get_const_instance().Context());
}

} // namespace

CZelVolumeEnumImpl::CZelVolumeEnumImpl() : CZelVolumeEnumImpl(&MachineDevices, true) {}

CZelVolumeEnumImpl::CZelVolumeEnumImpl(CZelDeviceSource source, bool watch)
    : m_Source(source), m_Notifier(source, watch)
{
    m_pArrivalRelay = boost::make_shared<Relay>(&CZelVolumeEnumImpl::OnArrival, this);
    m_pRemovalRelay = boost::make_shared<Relay>(&CZelVolumeEnumImpl::OnRemoval, this);
    m_Notifier.SetArrivalCallback(m_pArrivalRelay);
    m_Notifier.SetRemovalCallback(m_pRemovalRelay);
}

CZelVolumeEnumImpl::~CZelVolumeEnumImpl()
{
    // The enumerator's own callbacks and relays go before the notifier.
    m_pArrival.reset();
    m_pRemoval.reset();
    m_Notifier.SetArrivalCallback(nullptr);
    m_Notifier.SetRemovalCallback(nullptr);
    m_pArrivalRelay.reset();
    m_pRemovalRelay.reset();
}

boost::shared_ptr<CZelVolumeInfoIterator> CZelVolumeEnumImpl::GetVolumeInfoIterator()
{
    return boost::make_shared<CZelVolumeInfoIteratorImpl>(m_Source ? m_Source() : std::vector<CZelBlockDevice>());
}

void CZelVolumeEnumImpl::SetOnVolumeArrival(boost::shared_ptr<CZelVolumeCallback> callback)
{
    m_pArrival = std::move(callback);
}

void CZelVolumeEnumImpl::SetOnVolumeRemoval(boost::shared_ptr<CZelVolumeCallback> callback)
{
    m_pRemoval = std::move(callback);
}

int CZelVolumeEnumImpl::GetNotificationHandle()
{
    return m_Notifier.GetHandle();
}

void CZelVolumeEnumImpl::ProcessNotifications()
{
    m_Notifier.ProcessEvents();
}

void CZelVolumeEnumImpl::OnArrival(std::wstring node)
{
    if (node.empty() || !m_pArrival)
        return;
    // The full record of the volume that arrived, from a fresh snapshot.
    boost::shared_ptr<CZelVolumeInfoIterator> it = GetVolumeInfoIterator();
    for (it->First(); !it->IsDone(); it->Next()) {
        boost::shared_ptr<CZelVolumeInfo> record = it->CurrentItem();
        if (record && record->GetRootPath() == node) {
            m_pArrival->Fire(record);
            return;
        }
    }
}

void CZelVolumeEnumImpl::OnRemoval(std::wstring node)
{
    if (!m_pRemoval)
        return;
    m_pRemoval->Fire(boost::make_shared<CZelVolumeInfoImpl>(node));
}
