// Reading the program's texts from a language store.
#include "LanguageTable.h"
#include "ProgramFolder.h"
#include "VarBuilderSource.h"

#include <gtest/gtest.h>

using apptest::ProgramFolder;

namespace {

class LanguageTable : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(ZelSetVarsFolder(folder.Path(), error)) << error;
    }
    ProgramFolder folder;
    CZelLanguageTable table;
};

} // namespace

TEST_F(LanguageTable, ANumberAmongTheTextsIsPassedOver)
{
    folder.WriteVrl("Lang.vrl", {{"Tester"}, {"zero", "#42", "one", "two"}});
    ASSERT_EQ(table.Load(folder.File("Lang.vrl")), S_OK);
    ASSERT_EQ(table.Languages().size(), 1u);
    EXPECT_EQ(table.Languages()[0].name, u"Tester");
    ASSERT_NE(table.Text(0), nullptr);
    EXPECT_EQ(*table.Text(0), u"zero");
    // The texts after the number move down by one.
    ASSERT_NE(table.Text(1), nullptr);
    EXPECT_EQ(*table.Text(1), u"one");
    ASSERT_NE(table.Text(2), nullptr);
    EXPECT_EQ(*table.Text(2), u"two");
    EXPECT_EQ(table.Text(3), nullptr);
}

TEST_F(LanguageTable, SelectionKeepsTheCurrentLanguageOnAMiss)
{
    folder.WriteVrl("Lang.vrl", {{"English"}, {"Hello", "World"}, {"Deutsch"}, {"Hallo", "Welt"}});
    ASSERT_EQ(table.Load(folder.File("Lang.vrl")), S_OK);
    ASSERT_EQ(table.Select(u"Deutsch"), S_OK);
    EXPECT_EQ(*table.Text(1), u"Welt");
    EXPECT_NE(table.Select(u"DEUTSCH"), S_OK);
    EXPECT_NE(table.Select(u"Français"), S_OK);
    EXPECT_EQ(table.Current(), 1u);
    ASSERT_EQ(table.Select(u"English"), S_OK);
    EXPECT_EQ(*table.Text(0), u"Hello");
    EXPECT_EQ(table.Text(2), nullptr);
}

TEST_F(LanguageTable, TheBuildsLanguagesAllHaveEveryText)
{
    ASSERT_EQ(table.Load(folder.File("Lang.vrl")), S_OK);
    ASSERT_GE(table.Languages().size(), 5u);
    for (const CZelLanguage& language : table.Languages())
        EXPECT_EQ(language.texts.size(), table.Languages()[0].texts.size());
}

TEST_F(LanguageTable, AMissingFileIsAFailure)
{
    EXPECT_NE(table.Load(folder.File("none.vrl")), S_OK);
    EXPECT_TRUE(table.Languages().empty());
    EXPECT_EQ(table.Text(0), nullptr);
}
