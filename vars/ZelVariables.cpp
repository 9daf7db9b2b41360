#include "ZelVariables.h"

#include <unordered_set>

std::recursive_mutex CZelVariableLock::m_Lock;

BSTR ZelCopyText(const OLECHAR* text)
{
    if (text == nullptr)
        return nullptr;
    return SysAllocStringLen(text, ZelTextLength(text));
}

HRESULT CZelLong::get_Value(LONG* lVal)
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (lVal == nullptr)
        return ZEL_E_INVALIDARG;
    *lVal = m_Value;
    return S_OK;
}

HRESULT CZelLong::put_Value(LONG lVal)
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    m_Value = lVal;
    return S_OK;
}

HRESULT CZelDouble::get_Value(double* dblVal)
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    if (dblVal == nullptr)
        return ZEL_E_INVALIDARG;
    *dblVal = m_Value;
    return S_OK;
}

HRESULT CZelDouble::put_Value(double dblVal)
{
    std::lock_guard<std::recursive_mutex> lock(m_Lock);
    m_Value = dblVal;
    return S_OK;
}

template <class TInterface>
HRESULT CZelStringImpl<TInterface>::get_Value(BSTR* bstrVal)
{
    std::lock_guard<std::recursive_mutex> lock(this->m_Lock);
    if (bstrVal == nullptr)
        return ZEL_E_INVALIDARG;
    *bstrVal = nullptr;
    if (m_Value == nullptr)
        return S_OK;
    *bstrVal = SysAllocStringLen(m_Value, SysStringLen(m_Value));
    return *bstrVal == nullptr ? E_OUTOFMEMORY : S_OK;
}

template <class TInterface>
HRESULT CZelStringImpl<TInterface>::put_Value(BSTR bstrVal)
{
    std::lock_guard<std::recursive_mutex> lock(this->m_Lock);
    if (bstrVal == m_Value)
        return S_OK;
    BSTR copy = nullptr;
    if (bstrVal != nullptr) {
        copy = ZelCopyText(bstrVal);
        if (copy == nullptr)
            return E_OUTOFMEMORY;
    }
    SysFreeString(m_Value);
    m_Value = copy;
    return S_OK;
}

template class CZelStringImpl<IZelString>;

HRESULT ZelCreateVariable(ZelVariableTypes type, IZelVariable** variable)
{
    *variable = nullptr;
    HRESULT hr;
    switch (type) {
    case ZelVariableTypes_Long:
        hr = ZelCreateObject<CZelLong>(nullptr, IID_IZelVariable, reinterpret_cast<void**>(variable));
        break;
    case ZelVariableTypes_Double:
        hr = ZelCreateObject<CZelDouble>(nullptr, IID_IZelVariable, reinterpret_cast<void**>(variable));
        break;
    case ZelVariableTypes_String:
        hr = ZelCreateObject<CZelString>(nullptr, IID_IZelVariable, reinterpret_cast<void**>(variable));
        break;
    case ZelVariableTypes_Array:
        hr = ZelCreateObject<CZelArray>(nullptr, IID_IZelVariable, reinterpret_cast<void**>(variable));
        break;
    default:
        return ZEL_E_INVALIDARG;
    }
    return FAILED(hr) ? ZEL_E_NOMEMORY : S_OK;
}

template <class TInterface>
bool CZelArrayImpl<TInterface>::WouldContainItself(IZelVariable* candidate)
{
    IZelVariable* self = this;
    std::vector<IZelVariable*> pending{candidate};
    std::unordered_set<IZelVariable*> seen;
    while (!pending.empty()) {
        IZelVariable* node = pending.back();
        pending.pop_back();
        if (node == self)
            return true;
        if (!seen.insert(node).second)
            continue;
        CZelComPtr<IZelArray> array;
        if (FAILED(node->QueryInterface(IID_IZelArray, array.OutVoid())) || !array)
            continue;
        LONG count = 0;
        array->get_Count(&count);
        for (LONG i = 0; i < count; ++i) {
            // The tree holds its own reference: the walk keeps none.
            CZelComPtr<IZelVariable> element;
            if (SUCCEEDED(array->GetAt(i, element.Out())) && element)
                pending.push_back(element.Get());
        }
    }
    return false;
}

template <class TInterface>
HRESULT CZelArrayImpl<TInterface>::Attach(IZelVariable* element, size_t position)
{
    HRESULT hr = element->put_Parent(this);
    if (FAILED(hr))
        return hr;
    element->put_IndexOf(static_cast<LONG>(position));
    m_Elements.insert(m_Elements.begin() + static_cast<std::ptrdiff_t>(position), element);
    Renumber(position + 1);
    return S_OK;
}

template <class TInterface>
void CZelArrayImpl<TInterface>::Detach(IZelVariable* element)
{
    void* link = nullptr;
    if (SUCCEEDED(element->QueryInterface(IID_ZelVariableLink, &link)) && link != nullptr)
        static_cast<CZelVariableLink*>(link)->ForgetParent(this);
    element->Release();
}

template <class TInterface>
void CZelArrayImpl<TInterface>::Renumber(size_t from)
{
    for (size_t i = from; i < m_Elements.size(); ++i)
        m_Elements[i]->put_IndexOf(static_cast<LONG>(i));
}

template <class TInterface>
void CZelArrayImpl<TInterface>::ReleaseAll()
{
    std::vector<IZelVariable*> elements;
    elements.swap(m_Elements);
    for (IZelVariable* element : elements)
        Detach(element);
}

template <class TInterface>
HRESULT CZelArrayImpl<TInterface>::AddByEnum(ZelVariableTypes enumType)
{
    std::lock_guard<std::recursive_mutex> lock(this->m_Lock);
    CZelComPtr<IZelVariable> element;
    HRESULT hr = ZelCreateVariable(enumType, element.Out());
    if (FAILED(hr))
        return hr;
    hr = Attach(element.Get(), m_Elements.size());
    // The array keeps the new element's reference.
    if (SUCCEEDED(hr))
        element.Detach();
    return hr;
}

template <class TInterface>
HRESULT CZelArrayImpl<TInterface>::Add(IZelVariable* pVar)
{
    std::lock_guard<std::recursive_mutex> lock(this->m_Lock);
    if (pVar == nullptr || WouldContainItself(pVar))
        return ZEL_E_INVALIDARG;
    HRESULT hr = Attach(pVar, m_Elements.size());
    if (SUCCEEDED(hr))
        pVar->AddRef();
    return hr;
}

template <class TInterface>
HRESULT CZelArrayImpl<TInterface>::GetAt(LONG lIndex, IZelVariable** pOut)
{
    std::lock_guard<std::recursive_mutex> lock(this->m_Lock);
    if (pOut == nullptr)
        return ZEL_E_INVALIDARG;
    *pOut = nullptr;
    if (lIndex < 0 || static_cast<size_t>(lIndex) >= m_Elements.size())
        return ZEL_E_INVALIDARG;
    *pOut = m_Elements[static_cast<size_t>(lIndex)];
    (*pOut)->AddRef();
    return S_OK;
}

template <class TInterface>
HRESULT CZelArrayImpl<TInterface>::RemoveAt(LONG lIndex)
{
    std::lock_guard<std::recursive_mutex> lock(this->m_Lock);
    if (lIndex < 0 || static_cast<size_t>(lIndex) >= m_Elements.size())
        return ZEL_E_INVALIDARG;
    IZelVariable* element = m_Elements[static_cast<size_t>(lIndex)];
    m_Elements.erase(m_Elements.begin() + lIndex);
    Detach(element);
    Renumber(0);
    return S_OK;
}

template <class TInterface>
HRESULT CZelArrayImpl<TInterface>::RemoveAll()
{
    std::lock_guard<std::recursive_mutex> lock(this->m_Lock);
    ReleaseAll();
    return S_OK;
}

template <class TInterface>
HRESULT CZelArrayImpl<TInterface>::InsertAt(LONG lIndex, IZelVariable* pVar)
{
    std::lock_guard<std::recursive_mutex> lock(this->m_Lock);
    if (lIndex < 0 || static_cast<size_t>(lIndex) >= m_Elements.size() || pVar == nullptr ||
        WouldContainItself(pVar))
        return ZEL_E_INVALIDARG;
    HRESULT hr = Attach(pVar, static_cast<size_t>(lIndex));
    if (SUCCEEDED(hr))
        pVar->AddRef();
    return hr;
}

template <class TInterface>
HRESULT CZelArrayImpl<TInterface>::InsertAtByEnum(LONG lIndex, ZelVariableTypes enumType)
{
    std::lock_guard<std::recursive_mutex> lock(this->m_Lock);
    if (lIndex < 0 || static_cast<size_t>(lIndex) >= m_Elements.size())
        return ZEL_E_INVALIDARG;
    CZelComPtr<IZelVariable> element;
    HRESULT hr = ZelCreateVariable(enumType, element.Out());
    if (FAILED(hr))
        return hr;
    hr = Attach(element.Get(), static_cast<size_t>(lIndex));
    // The array keeps the new element's reference.
    if (SUCCEEDED(hr))
        element.Detach();
    return hr;
}

template <class TInterface>
HRESULT CZelArrayImpl<TInterface>::get_Count(LONG* lVal)
{
    std::lock_guard<std::recursive_mutex> lock(this->m_Lock);
    if (lVal == nullptr)
        return ZEL_E_INVALIDARG;
    *lVal = static_cast<LONG>(m_Elements.size());
    return S_OK;
}

template class CZelArrayImpl<IZelArray>;
