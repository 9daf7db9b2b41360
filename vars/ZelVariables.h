// The live variables: long, double, string and array values with a
// comment, a parent array and a position in it.
#pragma once

#include "jexvars/ZelComPtr.h"

#include "ZelComObject.h"
#include "ZelDispatch.h"
#include "jexvars/ZelVars.h"

#include <mutex>
#include <vector>

// What the store's own objects tell each other beyond their interfaces,
// reached with QueryInterface for IID_ZelVariableLink (no reference taken).
class CZelVariableLink {
public:
    // Clears the parent link when it names parent.
    virtual void ForgetParent(IZelVariable* parent) = 0;

protected:
    ~CZelVariableLink() = default;
};
constexpr IID IID_ZelVariableLink = {0x3A0F5B1E, 0x6C2D, 0x4E8A, {0x9B, 0x17, 0x52, 0xD4, 0x0E, 0x61, 0xA3, 0x7C}};

// A copy of text up to its first zero unit; null when text is null or the
// copy cannot be made.
BSTR ZelCopyText(const OLECHAR* text);

// The one lock of every variable. A tree read from a file holds a variable
// for each of its elements, a million of them in a large file: a lock of
// their own would make each half again as large. One lock for all also
// cannot deadlock when an array and its elements are locked in turn.
class CZelVariableLock {
protected:
    static std::recursive_mutex m_Lock;
};

// Fields and IZelVariable operations shared by every variable class.
template <class TInterface>
class CZelVariableImpl : public CZelComObject<TInterface>, public CZelVariableLink, protected CZelVariableLock {
public:
    // The comment is null while it is empty: most variables have none.
    CZelVariableImpl(IUnknown* outer, ZelVariableTypes type) : CZelComObject<TInterface>(outer), m_Type(type) {}
    ~CZelVariableImpl() override { SysFreeString(m_Comment); }

    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (iid == IID_ZelVariableLink && object != nullptr) {
            *object = static_cast<CZelVariableLink*>(this);
            return S_OK;
        }
        return CZelComObject<TInterface>::QueryInterface(iid, object);
    }
    ULONG AddRef() override { return CZelComObject<TInterface>::AddRef(); }
    ULONG Release() override { return CZelComObject<TInterface>::Release(); }

    HRESULT get_Type(ZelVariableTypes* lVal) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_Lock);
        if (lVal == nullptr)
            return ZEL_E_INVALIDARG;
        *lVal = m_Type;
        return S_OK;
    }
    HRESULT ToString(IZelString** pOut) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_Lock);
        if (pOut != nullptr)
            *pOut = nullptr;
        return S_OK;
    }
    HRESULT get_Comment(BSTR* bstrVal) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_Lock);
        if (bstrVal == nullptr)
            return ZEL_E_INVALIDARG;
        *bstrVal = SysAllocStringLen(m_Comment, SysStringLen(m_Comment));
        return *bstrVal == nullptr ? ZEL_E_NOMEMORY : S_OK;
    }
    HRESULT put_Comment(BSTR bstrVal) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_Lock);
        if (bstrVal == nullptr)
            return ZEL_E_INVALIDARG;
        BSTR copy = nullptr;
        if (*bstrVal != 0) {
            copy = ZelCopyText(bstrVal);
            if (copy == nullptr)
                return ZEL_E_NOMEMORY;
        }
        SysFreeString(m_Comment);
        m_Comment = copy;
        return S_OK;
    }
    HRESULT Clone(IZelVariable** pVar) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_Lock);
        if (pVar != nullptr)
            *pVar = nullptr;
        return S_OK;
    }
    HRESULT get_Parent(IZelVariable** pParent) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_Lock);
        if (pParent == nullptr)
            return ZEL_E_INVALIDARG;
        *pParent = m_pParent;
        if (m_pParent != nullptr)
            m_pParent->AddRef();
        return S_OK;
    }
    HRESULT put_Parent(IZelVariable* pParent) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_Lock);
        if (pParent == nullptr)
            return ZEL_E_INVALIDARG;
        m_pParent = pParent;
        return S_OK;
    }
    HRESULT get_IndexOf(LONG* lVal) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_Lock);
        if (lVal == nullptr)
            return ZEL_E_INVALIDARG;
        *lVal = m_Index;
        return S_OK;
    }
    HRESULT put_IndexOf(LONG lVal) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_Lock);
        m_Index = lVal;
        return S_OK;
    }

protected:
    bool Answers(REFIID iid) const override { return iid == IID_IZelVariable; }

    // Clears the parent link when it names parent.
    void ForgetParent(IZelVariable* parent) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_Lock);
        if (m_pParent == parent)
            m_pParent = nullptr;
    }

    const ZelVariableTypes m_Type;
    LONG m_Index = 0;
    BSTR m_Comment = nullptr;
    IZelVariable* m_pParent = nullptr;
};

class CZelVariable : public CZelVariableImpl<IZelVariable> {
public:
    explicit CZelVariable(IUnknown* outer) : CZelVariableImpl(outer, ZelVariableTypes_None) {}
    ZEL_IMPLEMENT_DISPATCH(ZelVariableDispatch)
};

class CZelLong : public CZelVariableImpl<IZelLong> {
public:
    explicit CZelLong(IUnknown* outer) : CZelVariableImpl(outer, ZelVariableTypes_Long) {}
    HRESULT get_Value(LONG* lVal) override;
    HRESULT put_Value(LONG lVal) override;
    ZEL_IMPLEMENT_DISPATCH(ZelLongDispatch)

protected:
    bool Answers(REFIID iid) const override { return iid == IID_IZelLong || iid == IID_IZelVariable; }

private:
    LONG m_Value = 0;
};

class CZelDouble : public CZelVariableImpl<IZelDouble> {
public:
    explicit CZelDouble(IUnknown* outer) : CZelVariableImpl(outer, ZelVariableTypes_Double) {}
    HRESULT get_Value(double* dblVal) override;
    HRESULT put_Value(double dblVal) override;
    ZEL_IMPLEMENT_DISPATCH(ZelDoubleDispatch)

protected:
    bool Answers(REFIID iid) const override { return iid == IID_IZelDouble || iid == IID_IZelVariable; }

private:
    double m_Value = 0.0;
};

template <class TInterface>
class CZelStringImpl : public CZelVariableImpl<TInterface> {
public:
    explicit CZelStringImpl(IUnknown* outer)
        : CZelVariableImpl<TInterface>(outer, ZelVariableTypes_String), m_Value(SysAllocStringLen(u"", 0))
    {
    }
    ~CZelStringImpl() override { SysFreeString(m_Value); }
    HRESULT get_Value(BSTR* bstrVal) override;
    HRESULT put_Value(BSTR bstrVal) override;

protected:
    bool Answers(REFIID iid) const override { return iid == IID_IZelString || iid == IID_IZelVariable; }

    BSTR m_Value;
};

class CZelString : public CZelStringImpl<IZelString> {
public:
    explicit CZelString(IUnknown* outer) : CZelStringImpl(outer) {}
    ZEL_IMPLEMENT_DISPATCH(ZelStringDispatch)
};

template <class TInterface>
class CZelArrayImpl : public CZelVariableImpl<TInterface> {
public:
    explicit CZelArrayImpl(IUnknown* outer) : CZelVariableImpl<TInterface>(outer, ZelVariableTypes_Array) {}
    ~CZelArrayImpl() override { ReleaseAll(); }

    HRESULT AddByEnum(ZelVariableTypes enumType) override;
    HRESULT Add(IZelVariable* pVar) override;
    HRESULT GetAt(LONG lIndex, IZelVariable** pOut) override;
    HRESULT RemoveAt(LONG lIndex) override;
    HRESULT RemoveAll() override;
    HRESULT InsertAt(LONG lIndex, IZelVariable* pVar) override;
    HRESULT InsertAtByEnum(LONG lIndex, ZelVariableTypes enumType) override;
    HRESULT get_Count(LONG* lVal) override;

protected:
    bool Answers(REFIID iid) const override { return iid == IID_IZelArray || iid == IID_IZelVariable; }

private:
    // Puts element at position (appending at the end), the array keeping
    // the reference the caller gives it.
    HRESULT Attach(IZelVariable* element, size_t position);
    // Lets go of an element: its reference, and its parent link when that
    // names this array.
    void Detach(IZelVariable* element);
    void ReleaseAll();
    void Renumber(size_t from);
    // True when this array is candidate or lies somewhere inside it.
    bool WouldContainItself(IZelVariable* candidate);

    std::vector<IZelVariable*> m_Elements;
};

class CZelArray : public CZelArrayImpl<IZelArray> {
public:
    explicit CZelArray(IUnknown* outer) : CZelArrayImpl(outer) {}
    ZEL_IMPLEMENT_DISPATCH(ZelArrayDispatch)
};

// A new variable of a type code (1 to 4), not aggregated, with one reference
// for the caller; ZEL_E_INVALIDARG for any other code, ZEL_E_NOMEMORY when it
// cannot be made.
HRESULT ZelCreateVariable(ZelVariableTypes type, IZelVariable** variable);

// A new variable of the type, asked for iid; the caller owns the reference.
template <class T>
HRESULT ZelCreateVariableAs(ZelVariableTypes type, REFIID iid, T** out)
{
    CZelComPtr<IZelVariable> variable;
    HRESULT hr = ZelCreateVariable(type, variable.Out());
    if (FAILED(hr))
        return hr;
    return variable->QueryInterface(iid, reinterpret_cast<void**>(out));
}
