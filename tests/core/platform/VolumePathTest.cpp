#include "jexplatform/VolumePath.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

TEST(VolumePath, DevicesAndImagesAreUsedAsTheyAre)
{
    EXPECT_EQ(ZelResolveVolumePath("/dev/sdb1").device, "/dev/sdb1");
    EXPECT_EQ(ZelResolveVolumePath("/dev/sdb1/").device, "/dev/sdb1");
    EXPECT_EQ(ZelResolveVolumePath("card.img/").device, "card.img");
    CZelVolumePath none = ZelResolveVolumePath("");
    EXPECT_TRUE(none.device.empty());
    EXPECT_FALSE(none.error.empty());
}

TEST(VolumePath, FolderThatIsNoMountPointIsRefused)
{
    jextest::TempDir dir;
    CZelVolumePath resolved = ZelResolveVolumePath(dir.Path());
    EXPECT_TRUE(resolved.device.empty());
    EXPECT_NE(resolved.error.find("mount point"), std::string::npos);
}

TEST(VolumePath, MountInfoGivesTheTopmostDeviceMountedThere)
{
    const std::string info =
        "22 1 8:1 / / rw,relatime shared:1 - ext4 /dev/sda1 rw\n"
        "40 22 8:17 / /media/card rw,nosuid - vfat /dev/sdb1 rw,fmask=0022\n"
        "41 22 8:33 / /media/My\\040Card rw - vfat /dev/sdc1 rw\n"
        "42 22 0:5 / /media/ram rw - tmpfs tmpfs rw\n"
        "43 40 7:0 / /media/card rw shared:5 master:2 - ntfs3 /dev/loop0 rw\n";
    EXPECT_EQ(ZelMountSourceFromMountInfo(info, "/"), "/dev/sda1");
    EXPECT_EQ(ZelMountSourceFromMountInfo(info, "/media/card"), "/dev/loop0");
    EXPECT_EQ(ZelMountSourceFromMountInfo(info, "/media/My Card"), "/dev/sdc1");
    EXPECT_EQ(ZelMountSourceFromMountInfo(info, "/media/ram"), "");
    EXPECT_EQ(ZelMountSourceFromMountInfo(info, "/media"), "");
    EXPECT_EQ(ZelMountSourceFromMountInfo("garbage line\n\n", "/"), "");
}

TEST(VolumePath, RootNameIsTheTextAfterTheLastSlash)
{
    EXPECT_EQ(ZelRootName("/dev/sdb1"), "sdb1");
    EXPECT_EQ(ZelRootName("/tmp/x/card.img"), "card.img");
    EXPECT_EQ(ZelRootName("card.img"), "card.img");
    EXPECT_EQ(ZelRootName("/dev/"), "");
}
