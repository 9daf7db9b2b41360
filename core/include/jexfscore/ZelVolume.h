// Volumes of the machine and their arrival and removal.
#pragma once

#include "jexfscore/ZelCallback.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <string>

class CZelVolumeInfo {
public:
    virtual const std::wstring& GetRootPath() = 0;
    virtual uint64_t GetSize() = 0;
    virtual const std::wstring& GetFileSystemName() = 0;
    virtual ~CZelVolumeInfo() = default;
};

class CZelVolumeInfoIterator {
public:
    virtual void First() = 0;
    virtual void Next() = 0;
    virtual bool IsDone() = 0;
    virtual boost::shared_ptr<CZelVolumeInfo> CurrentItem() = 0;
    virtual ~CZelVolumeInfoIterator() = default;
};

typedef CZelFireCallbackRT<void, boost::shared_ptr<CZelVolumeInfo>> CZelVolumeCallback;

class CZelVolumeEnum {
public:
    virtual boost::shared_ptr<CZelVolumeInfoIterator> GetVolumeInfoIterator() = 0;
    virtual void SetOnVolumeArrival(boost::shared_ptr<CZelVolumeCallback> callback) = 0;
    virtual void SetOnVolumeRemoval(boost::shared_ptr<CZelVolumeCallback> callback) = 0;
    virtual ~CZelVolumeEnum() = default;
    // The descriptor to watch for volume events (readable when some are
    // pending), -1 when volumes are not watched. The thread that owns the
    // enumerator watches it in its event loop.
    virtual int GetNotificationHandle() = 0;
    // Reads every pending volume event and fires the arrival and removal
    // callbacks on the calling thread.
    virtual void ProcessNotifications() = 0;
};
