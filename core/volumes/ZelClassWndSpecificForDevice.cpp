#include "volumes/ZelClassWndSpecificForDevice.h"

#include <libudev.h>

CZelClassWndSpecificForDevice::CZelClassWndSpecificForDevice() : m_pUdev(udev_new()) {}

CZelClassWndSpecificForDevice::~CZelClassWndSpecificForDevice()
{
    if (m_pUdev != nullptr)
        udev_unref(m_pUdev);
}

// The singleton is made when the library loads; its accessors are exported.
template class ZEL_EXPORT boost::serialization::singleton<CZelClassWndSpecificForDevice>;
