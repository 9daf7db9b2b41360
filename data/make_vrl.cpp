// jexvrl-make: writes "Lang.vrl" and "Params.vrl" from their readable
// sources, through libJexVars.so like every other client of the store.
//
// Usage: jexvrl-make LIBRARY-FOLDER OUTPUT-FOLDER PARAMS-SOURCE LANG-SOURCE...

#include "jexcommon/ZelText.h"
#include "jexvars/ZelVarsClient.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Language {
    std::string name;
    std::vector<std::string> texts;
};

struct Params {
    std::string language;
    std::vector<std::vector<std::string>> lists; // documents, audio, images, video
};

bool Fail(const std::string& message)
{
    std::fprintf(stderr, "jexvrl-make: %s\n", message.c_str());
    return false;
}

// A double-quoted text with \" and \\ escapes, and \n for a line break;
// false when malformed.
bool Quoted(const std::string& line, size_t start, std::string& text)
{
    if (start >= line.size() || line[start] != '"')
        return false;
    text.clear();
    for (size_t i = start + 1; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            ++i;
            text.push_back(line[i] == 'n' ? '\n' : line[i]);
        } else if (line[i] == '"') {
            return line.find_first_not_of(' ', i + 1) == std::string::npos;
        } else {
            text.push_back(line[i]);
        }
    }
    return false;
}

bool ReadLanguage(const std::string& path, Language& language)
{
    std::ifstream in(path);
    if (!in)
        return Fail(path + ": cannot be read");
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        std::string where = path + ":" + std::to_string(number);
        if (line.empty() || line[0] == '#')
            continue;
        if (line.rfind("language ", 0) == 0) {
            if (!Quoted(line, 9, language.name) || language.name.empty())
                return Fail(where + ": the language name must be a quoted text");
            continue;
        }
        size_t space = line.find(' ');
        std::string text;
        if (space == std::string::npos || !Quoted(line, space + 1, text))
            return Fail(where + ": expected an index and a quoted text");
        if (line.substr(0, space) != std::to_string(language.texts.size()))
            return Fail(where + ": expected text " + std::to_string(language.texts.size()) + " here");
        language.texts.push_back(text);
    }
    if (language.name.empty())
        return Fail(path + ": no language name");
    return true;
}

bool ReadParams(const std::string& path, Params& params)
{
    std::ifstream in(path);
    if (!in)
        return Fail(path + ": cannot be read");
    const char* categories[] = {"documents", "audio", "images", "video"};
    params.lists.assign(4, {});
    std::vector<bool> seen(4, false);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream words(line);
        std::string key, word;
        words >> key;
        if (key == "language") {
            words >> params.language;
            continue;
        }
        bool known = false;
        for (size_t c = 0; c < 4; ++c)
            if (key == categories[c]) {
                known = seen[c] = true;
                while (words >> word)
                    params.lists[c].push_back(word);
            }
        if (!known)
            return Fail(path + ": unknown entry \"" + key + "\"");
    }
    if (params.language.empty())
        return Fail(path + ": no language");
    for (size_t c = 0; c < 4; ++c)
        if (!seen[c])
            return Fail(path + ": no " + categories[c] + " list");
    return true;
}

class Writer {
public:
    explicit Writer(IZelVarBuilder& builder) : m_Builder(builder) {}

    bool AddString(IZelArray* array, const std::string& text)
    {
        CZelComPtr<IZelString> value;
        if (FAILED(m_Builder.StringCreate(value.Out())))
            return false;
        CZelBstr bstr(ZelNarrowToUtf16(text));
        return SUCCEEDED(value->put_Value(bstr.Get())) && SUCCEEDED(array->Add(value.Get()));
    }
    bool AddList(IZelArray* array, const std::vector<std::string>& texts)
    {
        CZelComPtr<IZelArray> list;
        if (FAILED(m_Builder.ArrayCreate(list.Out())))
            return false;
        for (const std::string& text : texts)
            if (!AddString(list.Get(), text))
                return false;
        return SUCCEEDED(array->Add(list.Get()));
    }
    // Writes a new tree that fill builds.
    template <class F>
    bool Write(const std::string& path, F fill)
    {
        CZelComPtr<IZelArray> root;
        if (FAILED(m_Builder.ArrayCreate(root.Out())))
            return Fail("cannot make a tree");
        bool ok = fill(root.Get()) && SUCCEEDED(m_Builder.put_RootArray(root.Get()));
        CZelBstr name(ZelNarrowToUtf16(path));
        VARIANT_BOOL done = VARIANT_FALSE;
        ok = ok && SUCCEEDED(m_Builder.WriteFile(name.Get(), &done)) && done == VARIANT_TRUE;
        return ok || Fail(path + ": cannot be written");
    }

private:
    IZelVarBuilder& m_Builder;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5) {
        std::fprintf(stderr, "Usage: %s LIBRARY-FOLDER OUTPUT-FOLDER PARAMS-SOURCE LANG-SOURCE...\n", argv[0]);
        return 2;
    }
    std::vector<Language> languages(static_cast<size_t>(argc - 4));
    for (int i = 4; i < argc; ++i)
        if (!ReadLanguage(argv[i], languages[static_cast<size_t>(i - 4)]))
            return 1;
    for (const Language& language : languages)
        if (language.texts.size() != languages[0].texts.size())
            return Fail(language.name + " has " + std::to_string(language.texts.size()) + " texts, " +
                        languages[0].name + " has " + std::to_string(languages[0].texts.size())),
                   1;
    Params params;
    if (!ReadParams(argv[3], params))
        return 1;

    CZelComPtr<IZelVarBuilder> builder;
    std::string error;
    if (!ZelLoadVarBuilder(argv[1], builder, error))
        return Fail(error), 1;

    Writer writer(*builder.Get());
    std::string folder = argv[2];
    bool ok = writer.Write(folder + "/Lang.vrl", [&](IZelArray* root) {
        for (const Language& language : languages)
            if (!writer.AddString(root, language.name) || !writer.AddList(root, language.texts))
                return false;
        return true;
    });
    ok = ok && writer.Write(folder + "/Params.vrl", [&](IZelArray* root) {
        if (!writer.AddString(root, params.language))
            return false;
        for (const auto& list : params.lists)
            if (!writer.AddList(root, list))
                return false;
        return true;
    });
    return ok ? 0 : 1;
}
