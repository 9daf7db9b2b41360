#include "ApplicationParams.h"

#include "VarBuilderSource.h"
#include "jexcommon/ZelText.h"
#include "jexvars/ZelVarsClient.h"

#include <new>

CApplicationParams::CApplicationParams()
{
    try {
        m_pBuilder = ZelCreateVarBuilder();
        m_Created = m_pBuilder ? S_OK : ZEL_E_CREATEFAILED;
    } catch (const std::bad_alloc&) {
        m_Created = ZEL_E_NOMEMORY;
    }
}

HRESULT CApplicationParams::ReadParams(const std::string& path)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (!m_pBuilder)
        return ZEL_E_INVALIDARG;
    m_pRoot.Reset();
    CZelBstr name(ZelNarrowToUtf16(path));
    VARIANT_BOOL done = VARIANT_FALSE;
    HRESULT hr = m_pBuilder->ReadFile(name.Get(), &done);
    if (FAILED(hr))
        return hr;
    return m_pBuilder->get_RootArray(m_pRoot.Out());
}

HRESULT CApplicationParams::GetLanguageName(std::u16string& name, bool& found)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    found = false;
    if (!m_pRoot)
        return S_OK;
    LONG count = 0;
    m_pRoot->get_Count(&count);
    if (count > 0 && ZelTextAt(*m_pRoot.Get(), 0, name)) {
        found = true;
        return S_OK;
    }
    return ZEL_E_INVALIDARG;
}

bool CApplicationParams::ListAt(LONG a, CZelComPtr<IZelArray>& list)
{
    LONG count = 0;
    m_pRoot->get_Count(&count);
    if (a < 0 || a >= count)
        return false;
    list = ZelArrayAt(*m_pRoot.Get(), a);
    return true;
}

HRESULT CApplicationParams::GetListCount(LONG a)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (!m_pRoot)
        return 0;
    CZelComPtr<IZelArray> list;
    if (!ListAt(a, list))
        return ZEL_E_INVALIDARG;
    LONG n = 0;
    if (list)
        list->get_Count(&n);
    return n;
}

HRESULT CApplicationParams::GetListString(LONG a, LONG b, std::u16string& text, bool& found)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    found = false;
    if (!m_pRoot)
        return S_OK;
    CZelComPtr<IZelArray> list;
    if (!ListAt(a, list))
        return ZEL_E_INVALIDARG;
    if (!list)
        return S_OK;
    LONG n = 0;
    list->get_Count(&n);
    if (b >= 0 && b < n)
        found = ZelTextAt(*list.Get(), b, text);
    return S_OK;
}
