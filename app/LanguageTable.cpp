#include "LanguageTable.h"

#include "VarBuilderSource.h"
#include "jexcommon/ZelText.h"
#include "jexvars/ZelVarsClient.h"

namespace {

// The kind of a tree element: asked for as a string, then as an array.
bool IsString(IZelArray& array, LONG index)
{
    std::u16string ignored;
    return ZelTextAt(array, index, ignored);
}

} // namespace

HRESULT CZelLanguageTable::Load(const std::string& path)
{
    // A new table starts with its first language.
    m_Languages.clear();
    m_Current = 0;
    CZelComPtr<IZelVarBuilder> builder = ZelCreateVarBuilder();
    if (!builder)
        return ZEL_E_INVALIDARG;
    CZelBstr name(ZelNarrowToUtf16(path));
    VARIANT_BOOL done = VARIANT_FALSE;
    HRESULT hr = builder->ReadFile(name.Get(), &done);
    if (FAILED(hr))
        return hr;
    CZelComPtr<IZelArray> root;
    hr = builder->get_RootArray(root.Out());
    if (FAILED(hr))
        return hr;
    // A file without a root array is no language file.
    if (!root)
        return ZEL_E_INVALIDARG;
    LONG count = 0;
    root->get_Count(&count);
    if (count % 2 != 0)
        return ZEL_E_INVALIDARG;
    // Every name a string, every text array as long as the first.
    LONG texts = -1;
    for (LONG j = 0; j < count; j += 2) {
        CZelComPtr<IZelArray> list = ZelArrayAt(*root.Get(), j + 1);
        if (!IsString(*root.Get(), j) || !list)
            return ZEL_E_INVALIDARG;
        LONG n = 0;
        list->get_Count(&n);
        if (texts >= 0 && n != texts)
            return ZEL_E_INVALIDARG;
        texts = n;
    }
    std::vector<CZelLanguage> languages;
    for (LONG j = 0; j < count; j += 2) {
        CZelLanguage language;
        ZelTextAt(*root.Get(), j, language.name);
        CZelComPtr<IZelArray> list = ZelArrayAt(*root.Get(), j + 1);
        for (LONG i = 0; i < texts; ++i) {
            std::u16string text;
            if (ZelTextAt(*list.Get(), i, text))
                language.texts.push_back(text);
        }
        languages.push_back(std::move(language));
    }
    m_Languages = std::move(languages);
    return S_OK;
}

HRESULT CZelLanguageTable::Select(const std::u16string& name)
{
    for (size_t i = 0; i < m_Languages.size(); ++i)
        if (m_Languages[i].name == name) {
            m_Current = static_cast<uint32_t>(i);
            return S_OK;
        }
    return ZEL_E_INVALIDARG;
}

const std::u16string* CZelLanguageTable::Text(uint32_t k) const
{
    if (m_Current >= m_Languages.size() || k >= m_Languages[m_Current].texts.size())
        return nullptr;
    return &m_Languages[m_Current].texts[k];
}

CZelLanguageTable& ZelLanguageTable()
{
    static CZelLanguageTable table;
    return table;
}

HRESULT LoadLanguages(const std::string& path)
{
    return ZelLanguageTable().Load(path);
}

HRESULT SelectLanguage(const std::u16string& name)
{
    return ZelLanguageTable().Select(name);
}

std::u16string GetText(uint32_t k)
{
    const std::u16string* text = ZelLanguageTable().Text(k);
    return text != nullptr ? *text : std::u16string();
}

QString GetQText(uint32_t k)
{
    const std::u16string text = GetText(k);
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}
