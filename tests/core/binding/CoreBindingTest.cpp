#include "support/ExportCore.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <cstdlib>

using jextest::BoundCore;

TEST(CoreBinding, ExportsAreBoundAndStable)
{
    const CZelCoreBinding& core = BoundCore();
    ASSERT_NE(core.GetCreator(), nullptr);
    ASSERT_NE(core.GetFileSystemCreator(), nullptr);
    EXPECT_EQ(core.LibraryPath(), std::string(JEX_BIN_DIR) + "/libJexFSCore.so");

    // A second binding of the same library hands out the same factories.
    CZelCoreBinding again;
    std::string error;
    ASSERT_TRUE(again.LoadFrom(JEX_BIN_DIR, error)) << error;
    EXPECT_EQ(again.GetCreator(), core.GetCreator());
    EXPECT_EQ(again.GetFileSystemCreator(), core.GetFileSystemCreator());

    // Each factory call makes a new object.
    auto first = core.GetCreator()->CreateFileSystemCreator();
    auto second = core.GetCreator()->CreateFileSystemCreator();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());
}

TEST(CoreBinding, MissingLibraryIsNamed)
{
    jextest::TempDir empty;
    CZelCoreBinding core;
    std::string error;
    EXPECT_FALSE(core.LoadFrom(empty.Path(), error));
    EXPECT_NE(error.find(empty.Path() + "/libJexFSCore.so"), std::string::npos) << error;
    EXPECT_EQ(core.GetCreator(), nullptr);
}
