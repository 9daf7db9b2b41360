// Records the volumes a volume callback is fired with.
#pragma once

#include "jexfscore/ZelVolume.h"

#include <boost/make_shared.hpp>

#include <vector>

namespace jextest {

struct VolumeRecorder {
    void Volume(boost::shared_ptr<CZelVolumeInfo> record) { records.push_back(record); }
    std::vector<boost::shared_ptr<CZelVolumeInfo>> records;
};

inline boost::shared_ptr<CZelVolumeCallback> Callback(VolumeRecorder& recorder)
{
    return boost::make_shared<CZelCallbackWrapperRT<VolumeRecorder, void, boost::shared_ptr<CZelVolumeInfo>>>(
        &VolumeRecorder::Volume, &recorder);
}

} // namespace jextest
