// The shipped "Lang.vrl" and "Params.vrl", and the language chosen when the
// program is installed.
#include "support/SetupLibrary.h"
#include "support/TestImages.h"

using namespace setuptest;

TEST(DataFiles, LangVrlHasEveryTextInEveryLanguage)
{
    CZelComPtr<IZelArray> root = ReadRoot(std::string(JEX_BIN_DIR) + "/Lang.vrl");
    ASSERT_TRUE(root);
    LONG count = 0;
    root->get_Count(&count);
    ASSERT_EQ(count % 2, 0);
    std::vector<std::u16string> names;
    for (LONG j = 0; j < count; j += 2) {
        names.push_back(TextAt(root, j));
        CZelComPtr<IZelArray> texts = ArrayAt(root, j + 1);
        ASSERT_TRUE(texts) << j;
        LONG n = 0;
        texts->get_Count(&n);
        EXPECT_EQ(n, 72) << j;
        for (LONG k = 0; k < n; ++k) {
            std::u16string text = TextAt(texts, k);
            EXPECT_FALSE(text.empty() || text == u"(none)") << "language " << j / 2 << " text " << k;
        }
        // The texts that values go into hold a place for each, in every
        // language: counts, sizes, reasons, types.
        const std::pair<LONG, int> placed[] = {{39, 2}, {48, 2}, {49, 1}, {50, 1}, {57, 2},
                                               {58, 1}, {59, 1}, {60, 2}, {62, 1}, {67, 2}, {69, 2}, {70, 1}, {71, 2}};
        for (const auto& text : placed) {
            std::u16string value = TextAt(texts, text.first);
            for (int place = 1; place <= 2; ++place)
                EXPECT_EQ(value.find(u"%" + std::u16string(1, char16_t(u'0' + place))) != std::u16string::npos,
                          place <= text.second)
                    << "language " << j / 2 << " text " << text.first;
        }
        // Every file system that is searched is named where the hint lists
        // them.
        for (const char16_t* system : {u"FAT12", u"FAT16", u"FAT32", u"exFAT", u"NTFS"})
            EXPECT_NE(TextAt(texts, 35).find(system), std::u16string::npos) << "language " << j / 2;
    }
    for (const char16_t* wanted : {u"English", u"German", u"French", u"Spanish", u"Russian"})
        EXPECT_NE(std::find(names.begin(), names.end(), wanted), names.end());
}

TEST(DataFiles, ParamsVrlHasTheLanguageAndFourCategories)
{
    CZelComPtr<IZelArray> root = ReadRoot(std::string(JEX_BIN_DIR) + "/Params.vrl");
    ASSERT_TRUE(root);
    EXPECT_EQ(TextAt(root, 0), u"English");
    for (LONG category = 1; category <= 4; ++category) {
        CZelComPtr<IZelArray> list = ArrayAt(root, category);
        ASSERT_TRUE(list) << category;
        LONG n = 0;
        list->get_Count(&n);
        EXPECT_GT(n, 10) << category;
        for (LONG i = 0; i < n; ++i) {
            std::u16string extension = TextAt(list, i);
            EXPECT_FALSE(extension.empty());
            EXPECT_EQ(extension.find(u'.'), std::u16string::npos) << "extensions have no dot";
        }
    }
    // The categories hold what cameras and phones write.
    CZelComPtr<IZelArray> images = ArrayAt(root, 3);
    std::vector<std::u16string> all;
    LONG n = 0;
    images->get_Count(&n);
    for (LONG i = 0; i < n; ++i)
        all.push_back(TextAt(images, i));
    for (const char16_t* wanted : {u"jpg", u"png", u"heic", u"cr2", u"nef", u"dng"})
        EXPECT_NE(std::find(all.begin(), all.end(), wanted), all.end());
}

TEST(DataFiles, InstallChoosesTheEnvironmentsLanguage)
{
    for (const auto& [locale, language] :
         std::vector<std::pair<std::string, std::u16string>>{{"de_DE.UTF-8", u"German"}, {"ja_JP.UTF-8", u"English"}}) {
        jextest::TempDir prefix;
        std::string command = "env LC_ALL= LC_MESSAGES= LANG=" + locale + " " + jextest::Quote(JEX_CMAKE) +
                              " --install " + jextest::Quote(JEX_BUILD_DIR) + " --prefix " +
                              jextest::Quote(prefix.Path());
        ASSERT_EQ(jextest::Run(command), 0) << command;
        CZelComPtr<IZelArray> root = ReadRoot(prefix.Path() + "/lib/jexfilerecovery/Params.vrl");
        ASSERT_TRUE(root) << locale;
        EXPECT_EQ(TextAt(root, 0), language) << locale;
    }
}
