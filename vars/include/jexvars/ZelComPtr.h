// Holders for what the component layer hands out: an interface pointer that
// owns one reference, and a BSTR. Each releases what it holds when it ends,
// so no path forgets a Release or a SysFreeString.
#pragma once

#include "jexvars/ZelCom.h"

#include <string>
#include <utility>

template <class T>
class CZelComPtr {
public:
    CZelComPtr() = default;
    // Takes over one reference, as an out-parameter hands it over.
    explicit CZelComPtr(T* taken) : m_p(taken) {}
    CZelComPtr(const CZelComPtr& other) : m_p(other.m_p)
    {
        if (m_p != nullptr)
            m_p->AddRef();
    }
    CZelComPtr(CZelComPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    CZelComPtr& operator=(CZelComPtr other) noexcept
    {
        std::swap(m_p, other.m_p);
        return *this;
    }
    ~CZelComPtr() { Reset(); }

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    void Reset()
    {
        if (m_p != nullptr)
            m_p->Release();
        m_p = nullptr;
    }
    // Releases what is held and gives the slot to an out-parameter.
    T** Out()
    {
        Reset();
        return &m_p;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    // Hands the reference over to the caller.
    T* Detach()
    {
        T* p = m_p;
        m_p = nullptr;
        return p;
    }
    // Another interface of the same object; empty when it has none.
    template <class U>
    CZelComPtr<U> As(REFIID iid) const
    {
        CZelComPtr<U> other;
        if (m_p != nullptr)
            m_p->QueryInterface(iid, other.OutVoid());
        return other;
    }

private:
    T* m_p = nullptr;
};

class CZelBstr {
public:
    CZelBstr() = default;
    // A copy of text; empty when it cannot be allocated.
    explicit CZelBstr(const std::u16string& text)
        : m_p(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))
    {
    }
    CZelBstr(const CZelBstr&) = delete;
    CZelBstr& operator=(const CZelBstr&) = delete;
    CZelBstr(CZelBstr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    ~CZelBstr() { SysFreeString(m_p); }

    BSTR Get() const { return m_p; }
    // Frees what is held and gives the slot to an out-parameter.
    BSTR* Out()
    {
        SysFreeString(m_p);
        m_p = nullptr;
        return &m_p;
    }
    // The text by its stored length; empty for none.
    std::u16string Text() const { return m_p == nullptr ? std::u16string() : std::u16string(m_p, SysStringLen(m_p)); }

private:
    BSTR m_p = nullptr;
};
