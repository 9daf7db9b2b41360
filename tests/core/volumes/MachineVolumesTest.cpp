// The machine's volumes through the exports, as programs see them.
#include "jexcommon/ZelText.h"
#include "support/ExportCore.h"
#include "support/TestImages.h"
#include "support/VolumeRecorder.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <poll.h>

namespace {

using jextest::BoundCore;
using jextest::Callback;
typedef jextest::VolumeRecorder Recorder;

std::vector<std::wstring> RootPaths(CZelVolumeEnum& volumes)
{
    std::vector<std::wstring> paths;
    auto it = volumes.GetVolumeInfoIterator();
    for (it->First(); !it->IsDone(); it->Next())
        paths.push_back(it->CurrentItem()->GetRootPath());
    return paths;
}

} // namespace

TEST(MachineVolumes, ThisMachinesSnapshotThroughTheExports)
{
    boost::shared_ptr<CZelVolumeEnum> enumerator = BoundCore().GetCreator()->CreateVolumeEnum();
    ASSERT_TRUE(enumerator);
    CZelVolumeEnum& volumes = *enumerator;
    std::vector<std::wstring> paths = RootPaths(volumes);
    for (size_t i = 0; i < paths.size(); ++i) {
        std::string node = ZelWideToNarrow(paths[i]);
        EXPECT_TRUE(std::filesystem::exists(node)) << node;
        std::string name = node.substr(node.find_last_of('/') + 1);
        EXPECT_TRUE(std::filesystem::exists("/sys/class/block/" + name)) << name;
        EXPECT_NE(name.rfind("zram", 0), 0u) << name;
        if (i > 0) {
            std::string previous = ZelWideToNarrow(paths[i - 1]);
            EXPECT_LT(previous.substr(previous.find_last_of('/') + 1), name);
        }
    }
    auto it = volumes.GetVolumeInfoIterator();
    it->First();
    for (size_t i = 0; i < paths.size(); ++i)
        it->Next();
    EXPECT_TRUE(it->IsDone());
    it->Next();
    EXPECT_TRUE(it->IsDone());
    EXPECT_FALSE(it->CurrentItem());
}

TEST(MachineVolumes, LoopDeviceSeenAttachedAndDetached)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeFatImage(dir, "loop.img", 32, 34000);
    boost::shared_ptr<CZelVolumeEnum> enumerator = BoundCore().GetCreator()->CreateVolumeEnum();
    ASSERT_TRUE(enumerator);
    CZelVolumeEnum& volumes = *enumerator;
    if (volumes.GetNotificationHandle() < 0)
        GTEST_SKIP() << "skipped: no device events can be watched here";
    Recorder arrived, removed;
    volumes.SetOnVolumeArrival(Callback(arrived));
    volumes.SetOnVolumeRemoval(Callback(removed));
    // Waits up to ten seconds for what the events bring.
    auto pump = [&volumes](const std::function<bool()>& done) {
        for (int i = 0; i < 100 && !done(); ++i) {
            pollfd watched{volumes.GetNotificationHandle(), POLLIN, 0};
            if (::poll(&watched, 1, 100) > 0)
                volumes.ProcessNotifications();
        }
        return done();
    };
    std::string node;
    {
        jextest::LoopDevice loop;
        std::string reason;
        if (!loop.Attach(image, reason))
            GTEST_SKIP() << "skipped: " << reason;
        node = loop.Node();
        std::wstring wide = ZelNarrowToWide(node);
        EXPECT_TRUE(pump([&] {
            for (const auto& r : arrived.records)
                if (r->GetRootPath() == wide)
                    return true;
            return false;
        })) << "no arrival of " << node;
        auto paths = RootPaths(volumes);
        EXPECT_NE(std::find(paths.begin(), paths.end(), wide), paths.end());
        for (const auto& r : arrived.records)
            if (r->GetRootPath() == wide) {
                EXPECT_EQ(r->GetFileSystemName(), L"FAT32");
                EXPECT_EQ(r->GetSize(), std::filesystem::file_size(image));
            }
    }
    std::wstring wide = ZelNarrowToWide(node);
    EXPECT_TRUE(pump([&] {
        for (const auto& r : removed.records)
            if (r->GetRootPath() == wide)
                return true;
        return false;
    })) << "no removal of " << node;
}
