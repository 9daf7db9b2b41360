// Volume snapshots, the notifier's table and the arrival and removal relays,
// fed from device lists and events written here.
#include "jexcommon/ZelText.h"
#include "support/TestImages.h"
#include "support/VolumeRecorder.h"
#include "volumes/ZelVolumeEnumImpl.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <filesystem>

namespace {

CZelBlockDevice Device(const std::string& name, const std::string& devtype, uint64_t size,
                       const std::string& node = "")
{
    CZelBlockDevice d;
    d.name = name;
    d.syspath = "/sys/devices/virtual/block/" + name;
    d.node = node.empty() ? "/dev/" + name : node;
    d.devtype = devtype;
    d.size = size;
    return d;
}

using jextest::Callback;
typedef jextest::VolumeRecorder Recorder;

} // namespace

TEST(Volumes, WhichBlockDevicesAreVolumes)
{
    auto loop = Device("loop3", "disk", 1 << 20);
    auto attached = loop;
    attached.loopAttached = true;
    auto partitioned = Device("sdb", "disk", 8ull << 30);
    partitioned.hasPartitions = true;
    auto devices = ZelSelectVolumeDevices({Device("sdb1", "partition", 4 << 20), partitioned, loop, attached,
                                           Device("zram0", "disk", 1 << 30), Device("ram0", "disk", 1 << 20),
                                           Device("sr0", "disk", 0), Device("dm-0", "disk", 1 << 30),
                                           Device("mmcblk0", "disk", 0)});
    std::vector<std::string> names;
    for (const auto& d : devices)
        names.push_back(d.name);
    // Sorted by name: an attached loop device, the partition, a device-mapper
    // volume, a card reader and an optical drive without media.
    EXPECT_EQ(names, (std::vector<std::string>{"dm-0", "loop3", "mmcblk0", "sdb1", "sr0"}));
}

TEST(Volumes, SnapshotRecordsAndTheirEnd)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeFatImage(dir, "card.img", 32, 34000);
    // Disks this user may not open show what udev's probe found on them.
    CZelBlockDevice system = Device("c-system", "partition", 1 << 30, dir.File("no-such-node"));
    system.fsType = "ext4";
    system.fsVersion = "1.0";
    CZelBlockDevice boot = Device("d-boot", "partition", 1 << 20, dir.File("no-such-node-either"));
    boot.fsType = "vfat";
    boot.fsVersion = "FAT16";
    std::vector<CZelBlockDevice> devices = {Device("a-card", "disk", 1, image), Device("b-reader", "disk", 0), system,
                                            boot};
    CZelVolumeEnumImpl volumes([devices] { return devices; }, false);
    auto it = volumes.GetVolumeInfoIterator();
    it->First();
    ASSERT_FALSE(it->IsDone());
    auto card = it->CurrentItem();
    EXPECT_EQ(card->GetRootPath(), ZelNarrowToWide(image));
    EXPECT_EQ(card->GetFileSystemName(), L"FAT32");
    EXPECT_EQ(card->GetSize(), std::filesystem::file_size(image));
    it->Next();
    auto reader = it->CurrentItem();
    // A drive without a medium: no file system, no size.
    EXPECT_EQ(reader->GetRootPath(), L"/dev/b-reader");
    EXPECT_EQ(reader->GetFileSystemName(), L"");
    EXPECT_EQ(reader->GetSize(), 0u);
    for (const wchar_t* name : {L"ext4", L"FAT16"}) {
        it->Next();
        ASSERT_FALSE(it->IsDone());
        EXPECT_EQ(it->CurrentItem()->GetFileSystemName(), name);
    }
    it->Next();
    EXPECT_TRUE(it->IsDone());
    EXPECT_FALSE(it->CurrentItem());
    it->Next();
    EXPECT_TRUE(it->IsDone());
    it->First();
    EXPECT_FALSE(it->IsDone());
    EXPECT_EQ(volumes.GetNotificationHandle(), -1);
}

TEST(Volumes, ArrivalsAndRemovalsThroughEvents)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeFatImage(dir, "stick.img", 32, 34000);
    std::vector<CZelBlockDevice> present = {Device("sda1", "partition", 0)};
    CZelVolumeEnumImpl volumes([&present] { return present; }, false);
    Recorder arrived, removed;

    // Without callbacks the table still follows the devices.
    auto stick = Device("sdc1", "partition", 1, image);
    present.push_back(stick);
    volumes.HandleEvent("add", stick.syspath, stick.node);
    EXPECT_EQ(volumes.Notifier().Table().count(stick.syspath), 1u);
    present.pop_back();
    volumes.HandleEvent("remove", stick.syspath, stick.node);
    EXPECT_EQ(volumes.Notifier().Table().count(stick.syspath), 0u);

    volumes.SetOnVolumeArrival(Callback(arrived));
    volumes.SetOnVolumeRemoval(Callback(removed));
    present.push_back(stick);
    volumes.HandleEvent("add", stick.syspath, stick.node);
    ASSERT_EQ(arrived.records.size(), 1u);
    EXPECT_EQ(arrived.records[0]->GetRootPath(), ZelNarrowToWide(image));
    EXPECT_EQ(arrived.records[0]->GetFileSystemName(), L"FAT32");
    EXPECT_GT(arrived.records[0]->GetSize(), 0u);

    present.pop_back();
    volumes.HandleEvent("remove", stick.syspath, "");
    ASSERT_EQ(removed.records.size(), 1u);
    EXPECT_EQ(removed.records[0]->GetRootPath(), ZelNarrowToWide(image));
    EXPECT_EQ(removed.records[0]->GetSize(), 0u);
    EXPECT_EQ(removed.records[0]->GetFileSystemName(), L"");

    // A removal of a device that was never listed names nothing.
    volumes.HandleEvent("remove", "/sys/devices/unknown", "");
    ASSERT_EQ(removed.records.size(), 2u);
    EXPECT_EQ(removed.records[1]->GetRootPath(), L"");
    // An arrival of something that is no volume fires nothing.
    volumes.HandleEvent("add", "/sys/devices/virtual/block/zram0", "/dev/zram0");
    EXPECT_EQ(arrived.records.size(), 1u);

    // A card reader plugged in empty, then a card put in, swapped and taken
    // out: each change of medium is a removal and an arrival of the reader.
    auto reader = Device("sdd", "disk", 0, image);
    present.push_back(reader);
    volumes.HandleEvent("add", reader.syspath, reader.node);
    ASSERT_EQ(arrived.records.size(), 2u);
    EXPECT_EQ(arrived.records[1]->GetFileSystemName(), L"");
    present.back().size = 1;
    volumes.HandleEvent("change", reader.syspath, reader.node);
    ASSERT_EQ(removed.records.size(), 3u);
    ASSERT_EQ(arrived.records.size(), 3u);
    EXPECT_EQ(arrived.records[2]->GetFileSystemName(), L"FAT32");
    // A change that is no change of medium fires nothing.
    volumes.HandleEvent("change", reader.syspath, reader.node);
    EXPECT_EQ(arrived.records.size(), 3u);
    volumes.HandleEvent("change", reader.syspath, reader.node, true);
    EXPECT_EQ(removed.records.size(), 4u);
    EXPECT_EQ(arrived.records.size(), 4u);
    present.back().size = 0;
    volumes.HandleEvent("change", reader.syspath, reader.node);
    EXPECT_EQ(removed.records.size(), 5u);
    EXPECT_EQ(removed.records.back()->GetRootPath(), ZelNarrowToWide(image));
    EXPECT_EQ(arrived.records.size(), 5u);
    // Switched off: no arrival fires.
    volumes.SetOnVolumeArrival(nullptr);
    present.back().size = 1;
    volumes.HandleEvent("change", reader.syspath, reader.node);
    EXPECT_EQ(arrived.records.size(), 5u);
    EXPECT_EQ(removed.records.size(), 6u);
}

