#include "jexcommon/ZelSharedLibrary.h"

#include <gtest/gtest.h>

TEST(ZelSharedLibrary, MissingLibraryOrExportIsNamed)
{
    std::string error;
    CZelSharedLibrary missing;
    EXPECT_FALSE(missing.Load(JEX_BIN_DIR, "libNoSuchLibrary.so", error));
    EXPECT_NE(error.find(std::string(JEX_BIN_DIR) + "/libNoSuchLibrary.so"), std::string::npos) << error;
    EXPECT_FALSE(missing.IsLoaded());

    CZelSharedLibrary library;
    ASSERT_TRUE(library.Load(JEX_BIN_DIR, "libJexVars.so", error)) << error;
    EXPECT_EQ(library.Path(), std::string(JEX_BIN_DIR) + "/libJexVars.so");
    EXPECT_NE(library.Bind("DllGetClassObject", error), nullptr) << error;
    EXPECT_EQ(library.Bind("NoSuchExport", error), nullptr);
    EXPECT_NE(error.find("NoSuchExport"), std::string::npos) << error;

    CZelSharedLibrary unloaded;
    EXPECT_EQ(unloaded.Bind("Creator", error), nullptr);
    EXPECT_NE(error.find("no library is loaded"), std::string::npos) << error;
    // An unknown program folder is said so, not tried as the current one.
    EXPECT_FALSE(unloaded.Load("", "libJexVars.so", error));
    EXPECT_NE(error.find("folder"), std::string::npos) << error;
}

TEST(ZelSharedLibrary, ProgramFolderIsTheExecutablesFolder)
{
    std::string folder = ZelProgramFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.front(), '/');
    // This test program lives in the build's test folder, not the current
    // directory.
    EXPECT_NE(folder.find("tests"), std::string::npos) << folder;
}
