#include "ZelVarBuilder.h"

#include "VrlFile.h"
#include "ZelVariables.h"
#include "jexcommon/ZelText.h"

#include <string>

namespace {

// File names arrive as UTF-16 and go to the system as UTF-8.
std::string FileName(BSTR name)
{
    std::wstring wide = ZelUtf16ToWide(name, ZelTextLength(name));
    return ZelWideToNarrow(wide);
}

template <class T>
HRESULT Create(ZelVariableTypes type, REFIID iid, T** out)
{
    HRESULT hr = ZelCreateVariableAs(type, iid, out);
    return hr == ZEL_E_NOMEMORY ? E_OUTOFMEMORY : hr;
}

} // namespace

CZelVarBuilder::CZelVarBuilder(IUnknown* outer)
    : CZelComObject<IZelVarBuilder>(outer), m_FullFileName(SysAllocStringLen(u"", 0))
{
}

CZelVarBuilder::~CZelVarBuilder()
{
    SysFreeString(m_FullFileName);
}

HRESULT CZelVarBuilder::FinalConstruct()
{
    if (m_FullFileName == nullptr)
        return ZEL_E_NOMEMORY;
    HRESULT hr = Create(ZelVariableTypes_Array, IID_IZelArray, m_pRoot.Out());
    return FAILED(hr) ? ZEL_E_NOMEMORY : S_OK;
}

HRESULT CZelVarBuilder::RememberName(BSTR name)
{
    BSTR copy = SysAllocStringLen(name, ZelTextLength(name));
    if (copy == nullptr)
        return ZEL_E_NOMEMORY;
    SysFreeString(m_FullFileName);
    m_FullFileName = copy;
    return S_OK;
}

HRESULT CZelVarBuilder::ReadFile(BSTR bstrFullFileName, VARIANT_BOOL* vbRes)
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (vbRes == nullptr)
        return ZEL_E_INVALIDARG;
    *vbRes = VARIANT_FALSE;
    m_pRoot.Reset();
    if (bstrFullFileName == nullptr)
        return ZEL_E_INVALIDARG;
    CVrlFile file;
    if (!file.OpenForReading(FileName(bstrFullFileName)))
        return ZEL_E_FILEIO;
    uint8_t magic[28];
    if (!file.ReadAll(magic, sizeof magic))
        return ZEL_E_FILEIO;
    for (size_t i = 0; i < 14; ++i)
        if (static_cast<char16_t>(magic[2 * i] | (magic[2 * i + 1] << 8)) != kVrlMagic[i])
            return ZEL_E_BADHEADER;
    // Read straight into the live tree, and no more elements than allowed.
    CZelComPtr<IZelArray> tree;
    HRESULT hr = Create(ZelVariableTypes_Array, IID_IZelArray, tree.Out());
    if (FAILED(hr))
        return hr;
    CVarObjectArray root(tree.Get());
    file.SetElementLimit(static_cast<uint64_t>(m_MaxElements));
    bool matched = false;
    hr = root.ReadFrom(file, matched, 0);
    file.Close();
    if (FAILED(hr))
        return hr;
    if (!matched)
        return S_OK;
    hr = root.CommentLive();
    if (FAILED(hr))
        return hr;
    m_pRoot = std::move(tree);
    hr = RememberName(bstrFullFileName);
    if (FAILED(hr))
        return hr;
    *vbRes = VARIANT_TRUE;
    return S_OK;
}

HRESULT CZelVarBuilder::WriteFile(BSTR bstrFullFileName, VARIANT_BOOL* vbRes)
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (vbRes == nullptr)
        return ZEL_E_INVALIDARG;
    *vbRes = VARIANT_FALSE;
    if (!m_pRoot || bstrFullFileName == nullptr)
        return ZEL_E_INVALIDARG;
    // The file-side copy first: a tree too deep to be read back is not
    // written at all.
    std::unique_ptr<CVarObject> root;
    HRESULT hr = CVarObject::FromVariable(m_pRoot.Get(), root, 0);
    if (FAILED(hr))
        return hr;
    if (!root)
        return ZEL_E_INVALIDARG;
    CVrlFile file;
    if (!file.OpenForWriting(FileName(bstrFullFileName)))
        return ZEL_E_FILEIO;
    uint8_t magic[28];
    for (size_t i = 0; i < 14; ++i) {
        magic[2 * i] = static_cast<uint8_t>(kVrlMagic[i]);
        magic[2 * i + 1] = static_cast<uint8_t>(kVrlMagic[i] >> 8);
    }
    if (!file.Write(magic, sizeof magic))
        return ZEL_E_FILEIO;
    bool written = false;
    hr = root->WriteTo(file, written);
    if (SUCCEEDED(hr) && !file.Commit())
        hr = ZEL_E_FILEIO;
    file.Close();
    if (FAILED(hr))
        return hr;
    hr = RememberName(bstrFullFileName);
    if (FAILED(hr))
        return hr;
    *vbRes = VARIANT_TRUE;
    return S_OK;
}

HRESULT CZelVarBuilder::get_FullFileName(BSTR* bstrVal)
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (bstrVal == nullptr)
        return ZEL_E_INVALIDARG;
    *bstrVal = SysAllocStringLen(m_FullFileName, SysStringLen(m_FullFileName));
    return *bstrVal == nullptr ? ZEL_E_NOMEMORY : S_OK;
}

HRESULT CZelVarBuilder::FullFileNameClear()
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    BSTR empty = SysAllocStringLen(u"", 0);
    if (empty == nullptr)
        return ZEL_E_NOMEMORY;
    SysFreeString(m_FullFileName);
    m_FullFileName = empty;
    return S_OK;
}

HRESULT CZelVarBuilder::get_HasComments(VARIANT_BOOL* vbVal)
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (vbVal == nullptr)
        return ZEL_E_INVALIDARG;
    *vbVal = m_HasComments;
    return S_OK;
}

HRESULT CZelVarBuilder::put_HasComments(VARIANT_BOOL vbVal)
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    m_HasComments = vbVal;
    return S_OK;
}

HRESULT CZelVarBuilder::DoubleCreate(IZelDouble** pOut)
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (pOut == nullptr)
        return ZEL_E_INVALIDARG;
    *pOut = nullptr;
    return FAILED(Create(ZelVariableTypes_Double, IID_IZelDouble, pOut)) ? ZEL_E_NOMEMORY : S_OK;
}

HRESULT CZelVarBuilder::LongCreate(IZelLong** pOut)
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (pOut == nullptr)
        return ZEL_E_INVALIDARG;
    *pOut = nullptr;
    return Create(ZelVariableTypes_Long, IID_IZelLong, pOut);
}

HRESULT CZelVarBuilder::StringCreate(IZelString** pOut)
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (pOut == nullptr)
        return ZEL_E_INVALIDARG;
    *pOut = nullptr;
    return Create(ZelVariableTypes_String, IID_IZelString, pOut);
}

HRESULT CZelVarBuilder::ArrayCreate(IZelArray** pOut)
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (pOut == nullptr)
        return ZEL_E_INVALIDARG;
    *pOut = nullptr;
    return Create(ZelVariableTypes_Array, IID_IZelArray, pOut);
}

HRESULT CZelVarBuilder::get_RootArray(IZelArray** pOut)
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (pOut == nullptr)
        return ZEL_E_INVALIDARG;
    *pOut = CZelComPtr<IZelArray>(m_pRoot).Detach();
    return S_OK;
}

HRESULT CZelVarBuilder::put_RootArray(IZelArray* pIn)
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (pIn != nullptr)
        pIn->AddRef();
    m_pRoot = CZelComPtr<IZelArray>(pIn);
    return S_OK;
}

HRESULT CZelVarBuilder::get_MaxElements(LONG* lVal)
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (lVal == nullptr)
        return ZEL_E_INVALIDARG;
    *lVal = m_MaxElements;
    return S_OK;
}

HRESULT CZelVarBuilder::put_MaxElements(LONG lVal)
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (lVal < 1)
        return ZEL_E_INVALIDARG;
    m_MaxElements = lVal;
    return S_OK;
}
