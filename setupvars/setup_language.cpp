// jexsetup-language: run when the program is installed. It chooses the
// language of the installing environment (LC_ALL, LC_MESSAGES or LANG) when
// "Lang.vrl" has it, and enters it in "Params.vrl" through ZELMAIN of
// libJexSetupVars.so; otherwise English stays.
//
// Usage: jexsetup-language [FOLDER]   (default: the program's own folder)

#include "jexcommon/ZelSharedLibrary.h"
#include "jexcommon/ZelText.h"
#include "jexvars/ZelVarsClient.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

typedef int32_t (*ZelMainExport)(const char16_t* commands, const char16_t* directory);

// The language of the environment as its English name, as "Lang.vrl"
// names languages; empty when unknown.
std::string EnvironmentLanguage()
{
    const char* names[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::string locale;
    for (const char* name : names) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != 0) {
            locale = value;
            break;
        }
    }
    static const std::map<std::string, std::string> languages = {
        {"en", "English"}, {"de", "German"},  {"fr", "French"},     {"es", "Spanish"},   {"ru", "Russian"},
        {"it", "Italian"}, {"pt", "Portuguese"}, {"nl", "Dutch"},   {"pl", "Polish"},    {"cs", "Czech"},
        {"sv", "Swedish"}, {"da", "Danish"},  {"fi", "Finnish"},    {"nb", "Norwegian"}, {"uk", "Ukrainian"},
        {"ja", "Japanese"}, {"zh", "Chinese"}, {"ko", "Korean"},    {"tr", "Turkish"},   {"hu", "Hungarian"},
    };
    auto found = languages.find(locale.substr(0, 2));
    return found != languages.end() ? found->second : std::string();
}

// True when "Lang.vrl" in folder has a language of that name.
bool HasLanguage(const std::string& folder, const std::string& language)
{
    CZelComPtr<IZelVarBuilder> builder;
    std::string error;
    if (!ZelLoadVarBuilder(folder, builder, error))
        return false;
    CZelComPtr<IZelArray> root = ZelReadVrlFile(*builder.Get(), folder + "/Lang.vrl");
    if (!root)
        return false;
    LONG count = 0;
    root->get_Count(&count);
    std::u16string wanted = ZelNarrowToUtf16(language);
    // Names and text lists alternate.
    for (LONG i = 0; i < count; i += 2) {
        std::u16string name;
        if (ZelTextAt(*root.Get(), i, name) && name == wanted)
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    std::string folder = argc > 1 ? argv[1] : ZelProgramFolder();
    std::string language = EnvironmentLanguage();
    if (language.empty() || language == "English" || !HasLanguage(folder, language)) {
        std::printf("jexsetup-language: the program speaks English\n");
        return 0;
    }
    CZelSharedLibrary setup;
    std::string error;
    if (!setup.Load(folder, "libJexSetupVars.so", error)) {
        std::fprintf(stderr, "jexsetup-language: %s\n", error.c_str());
        return 1;
    }
    auto zelMain = reinterpret_cast<ZelMainExport>(setup.Bind("ZELMAIN", error));
    if (zelMain == nullptr) {
        std::fprintf(stderr, "jexsetup-language: %s\n", error.c_str());
        return 1;
    }
    std::string params = folder + "/Params.vrl";
    std::u16string commands =
        ZelNarrowToUtf16("VarFileLoad " + params + "^ ParamSetAtString 0 " + language + "^ VarFileSave " + params + "^");
    std::u16string directory = ZelNarrowToUtf16(folder);
    int32_t result = zelMain(commands.c_str(), directory.c_str());
    if (result != 0) {
        std::fprintf(stderr, "jexsetup-language: %s could not be changed (%d)\n", params.c_str(), result);
        return 1;
    }
    std::printf("jexsetup-language: the program speaks %s\n", language.c_str());
    return 0;
}
