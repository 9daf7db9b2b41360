// The process-wide holder of the device-watch context: libudev's context,
// created when the library loads and released when it unloads. It is a
// Boost.Serialization singleton; its accessors are exported.
#pragma once

#include "jexcommon/ZelExport.h"

#include <boost/serialization/singleton.hpp>

struct udev;

class ZEL_EXPORT CZelClassWndSpecificForDevice {
public:
    CZelClassWndSpecificForDevice();
    ~CZelClassWndSpecificForDevice();
    CZelClassWndSpecificForDevice(const CZelClassWndSpecificForDevice&) = delete;
    CZelClassWndSpecificForDevice& operator=(const CZelClassWndSpecificForDevice&) = delete;

    // libudev's context; null when it could not be created.
    struct udev* Context() const { return m_pUdev; }

private:
    struct udev* m_pUdev;
};

typedef boost::serialization::singleton<CZelClassWndSpecificForDevice> CZelDeviceWatchSingleton;
