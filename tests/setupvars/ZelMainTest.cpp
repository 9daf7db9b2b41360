// ZELMAIN run for real against libJexVars.so, on files in a temporary folder.
#include "support/SetupLibrary.h"
#include "support/TestImages.h"

#include <filesystem>

using namespace setuptest;
using namespace varstest;

namespace {

// root: [long 1, string "a", double 0.5, [long 2, string "b", [long 3, double 1.5, string "c"]]]
std::vector<uint8_t> Sample()
{
    std::vector<uint8_t> b = Magic();
    PutTag(b, "AR");
    Put32(b, 0);
    Put32(b, 4);
    PutTag(b, "SL");
    Put32(b, 0);
    Put32(b, 1);
    PutTag(b, "ST");
    Put32(b, 0);
    PutText(b, u"a");
    PutTag(b, "DD");
    Put32(b, 0);
    b.insert(b.end(), {0, 0, 0, 0, 0, 0, 0xE0, 0x3F}); // 0.5
    PutTag(b, "AR");
    Put32(b, 0);
    Put32(b, 3);
    PutTag(b, "SL");
    Put32(b, 0);
    Put32(b, 2);
    PutTag(b, "ST");
    Put32(b, 0);
    PutText(b, u"b");
    PutTag(b, "AR");
    Put32(b, 0);
    Put32(b, 3);
    PutTag(b, "SL");
    Put32(b, 0);
    Put32(b, 3);
    PutTag(b, "DD");
    Put32(b, 0);
    b.insert(b.end(), {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}); // 1.5
    PutTag(b, "ST");
    Put32(b, 0);
    PutText(b, u"c");
    return b;
}

struct SetupFixture : public ::testing::Test {
    std::string File(const std::string& name) const { return dir.File(name); }
    void WriteSample(const std::string& name) { jextest::WriteFile(File(name), Sample()); }
    jextest::TempDir dir;
};

} // namespace

TEST_F(SetupFixture, ScriptLoadsEditsAndSavesByteForByte)
{
    WriteSample("p.vrl");
    std::string path = File("p.vrl");
    std::string script = "VarFileLoad " + path + "^ ParamSetAtLong 0 -7 ParamSetAtString 1 two words^ " +
                         "ParamSetAtDouble 2 2.5e1 ArrayI_ParamJ_SetAtLong 3 0 9 ArrayI_ParamJ_SetAtString 3 1 x^ " +
                         "ArrayI_ArrayJ_ParamK_SetAtLong 3 2 0 4 ArrayI_ArrayJ_ParamK_SetAtDouble 3 2 1 -0.25 " +
                         "ArrayI_ArrayJ_ParamK_SetAtString 3 2 2 z^ VarFileSave " + path + "^";
    ASSERT_EQ(RunScript(script), 0);

    std::vector<uint8_t> expected = Sample();
    auto replace = [&expected](std::vector<uint8_t> from, std::vector<uint8_t> to) {
        auto at = std::search(expected.begin(), expected.end(), from.begin(), from.end());
        ASSERT_NE(at, expected.end());
        at = expected.erase(at, at + static_cast<std::ptrdiff_t>(from.size()));
        expected.insert(at, to.begin(), to.end());
    };
    std::vector<uint8_t> a, twoWords;
    PutText(a, u"a");
    PutText(twoWords, u"two words");
    replace({'S', 0, 'L', 0, 0, 0, 0, 0, 1, 0, 0, 0}, {'S', 0, 'L', 0, 0, 0, 0, 0, 0xF9, 0xFF, 0xFF, 0xFF});
    replace(a, twoWords);
    replace({0, 0, 0, 0, 0, 0, 0xE0, 0x3F}, {0, 0, 0, 0, 0, 0, 0x39, 0x40});
    replace({'S', 0, 'L', 0, 0, 0, 0, 0, 2, 0, 0, 0}, {'S', 0, 'L', 0, 0, 0, 0, 0, 9, 0, 0, 0});
    replace({2, 0, 0, 0, 'b', 0}, {2, 0, 0, 0, 'x', 0});
    replace({'S', 0, 'L', 0, 0, 0, 0, 0, 3, 0, 0, 0}, {'S', 0, 'L', 0, 0, 0, 0, 0, 4, 0, 0, 0});
    replace({0, 0, 0, 0, 0, 0, 0xF8, 0x3F}, {0, 0, 0, 0, 0, 0, 0xD0, 0xBF});
    replace({2, 0, 0, 0, 'c', 0}, {2, 0, 0, 0, 'z', 0});
    EXPECT_EQ(jextest::ReadFile(path), expected);
}

TEST_F(SetupFixture, NamesMatchByPrefixInTableOrder)
{
    // "VarFile" is the start of VarFileCreate: a new empty tree is written.
    EXPECT_EQ(RunScript("VarFile " + File("new.vrl") + "^"), 0);
    std::vector<uint8_t> empty = Magic();
    PutTag(empty, "AR");
    Put32(empty, 0);
    Put32(empty, 0);
    EXPECT_EQ(jextest::ReadFile(File("new.vrl")), empty);
    // A token longer than every name runs nothing.
    EXPECT_EQ(RunScript("VarFileCreateX " + File("x.vrl") + "^"), 0);
    EXPECT_FALSE(std::filesystem::exists(File("x.vrl")));
    // "Param" is ParamSetAtLong.
    WriteSample("p.vrl");
    EXPECT_EQ(RunScript("VarFileLoad " + File("p.vrl") + "^ Param 0 5 VarFileSave " + File("q.vrl") + "^"), 0);
    CZelComPtr<IZelArray> root = ReadRoot(File("q.vrl"));
    ASSERT_TRUE(root);
    EXPECT_EQ(LongAt(root, 0), 5);
}

TEST_F(SetupFixture, FileCommandsThatFailStopTheRun)
{
    EXPECT_EQ(RunScript(""), 0);
    EXPECT_EQ(ZelMain()(nullptr, U16(JEX_BIN_DIR).c_str()), 0);
    EXPECT_EQ(RunScript("VarFileLoad " + File("missing.vrl") + "^ VarFileSave " + File("after.vrl") + "^"), 1);
    EXPECT_FALSE(std::filesystem::exists(File("after.vrl")));
    // An empty file name, and a token that names nothing.
    EXPECT_EQ(RunScript("VarFileSave ^"), 1);
    EXPECT_EQ(RunScript("VarFileSave^"), 0);
    EXPECT_EQ(RunScript("VarFileLoad"), 1);
    // No variable store in the directory: nothing runs.
    EXPECT_EQ(RunScript("VarFileCreate " + File("none.vrl") + "^", dir.Path()), -1);
    EXPECT_FALSE(std::filesystem::exists(File("none.vrl")));
    EXPECT_EQ(ZelMain()(nullptr, nullptr), -1);
}

TEST_F(SetupFixture, EditsOutOfRangeOrOfAnotherTypeChangeNothing)
{
    WriteSample("p.vrl");
    std::string path = File("p.vrl");
    // Position 4 is the count; root[1] is a string; root[3][5] does not exist.
    ASSERT_EQ(RunScript("VarFileLoad " + path + "^ ParamSetAtLong 4 1 ParamSetAtLong 1 1 ParamSetAtDouble 0 1.5 " +
                  "ArrayI_ParamJ_SetAtLong 3 5 1 ArrayI_ParamJ_SetAtLong 0 0 1 ParamSetAtLong -1 3 VarFileSave " +
                  path + "^"),
              0);
    EXPECT_EQ(jextest::ReadFile(path), Sample());

    // A string with spaces closed by "^", and one that swallows the rest.
    ASSERT_EQ(RunScript("VarFileLoad " + path + "^ ParamSetAtString 1  with  spaces ^ VarFileSave " + path + "^"), 0);
    CZelComPtr<IZelArray> root = ReadRoot(path);
    ASSERT_TRUE(root);
    EXPECT_EQ(TextAt(root, 1), u"with  spaces ");
    ASSERT_EQ(RunScript("VarFileLoad " + path + "^ ParamSetAtString 1 rest VarFileSave " + File("never.vrl") + "^"), 0);
    EXPECT_FALSE(std::filesystem::exists(File("never.vrl")));
    // A value missing at the end keeps its default.
    ASSERT_EQ(RunScript("VarFileLoad " + path + "^ VarFileSave " + File("r.vrl") + "^ VarFileLoad " + File("r.vrl") +
                  "^ ParamSetAtLong 0 12 VarFileSave " + File("r.vrl") + "^ VarFileLoad " + File("r.vrl") +
                  "^ ParamSetAtLong 0"),
              0);
    ASSERT_EQ(RunScript("VarFileLoad " + File("r.vrl") + "^ ParamSetAtLong 0 99999999999 VarFileSave " + File("s.vrl") + "^"),
              0);
    root = ReadRoot(File("s.vrl"));
    ASSERT_TRUE(root);
    EXPECT_EQ(LongAt(root, 0), INT32_MAX) << "numbers beyond 32 bits are clamped";
}
