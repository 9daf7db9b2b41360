// Reference counting, interface answers and aggregation shared by every
// object of the store. An object answers IUnknown, IDispatch and the
// interfaces its class lists, all on one table of virtual calls. Made with
// an outer object, it is aggregated: its interfaces pass IUnknown calls to
// the outer object, and the outer object holds its inner IUnknown.
#pragma once

#include "VarsModule.h"
#include "jexvars/ZelCom.h"

#include <atomic>
#include <new>

template <class TInterface>
class CZelComObject : public TInterface {
public:
    explicit CZelComObject(IUnknown* outer) : m_pOuter(outer), m_Inner(this) {}
    virtual ~CZelComObject() = default;

    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        return m_pOuter != nullptr ? m_pOuter->QueryInterface(iid, object) : InnerQueryInterface(iid, object);
    }
    ULONG AddRef() override { return m_pOuter != nullptr ? m_pOuter->AddRef() : InnerAddRef(); }
    ULONG Release() override { return m_pOuter != nullptr ? m_pOuter->Release() : InnerRelease(); }

    // The IUnknown that owns the object's lifetime: the inner one when
    // aggregated, the object itself otherwise.
    IUnknown* ControllingUnknown()
    {
        return m_pOuter != nullptr ? static_cast<IUnknown*>(&m_Inner) : static_cast<IUnknown*>(this);
    }
    // Run after construction, before the first interface is handed out.
    virtual HRESULT FinalConstruct() { return S_OK; }

protected:
    // The interfaces this class answers besides IUnknown and IDispatch.
    virtual bool Answers(REFIID iid) const = 0;

private:
    HRESULT InnerQueryInterface(REFIID iid, void** object)
    {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown) {
            *object = ControllingUnknown();
            ControllingUnknown()->AddRef();
            return S_OK;
        }
        if (iid == IID_IDispatch || Answers(iid)) {
            *object = static_cast<TInterface*>(this);
            AddRef();
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    ULONG InnerAddRef() { return ++m_References; }
    ULONG InnerRelease()
    {
        ULONG left = --m_References;
        if (left == 0)
            delete this;
        return left;
    }

    struct Inner : public IUnknown {
        explicit Inner(CZelComObject* owner) : m_pOwner(owner) {}
        HRESULT QueryInterface(REFIID iid, void** object) override { return m_pOwner->InnerQueryInterface(iid, object); }
        ULONG AddRef() override { return m_pOwner->InnerAddRef(); }
        ULONG Release() override { return m_pOwner->InnerRelease(); }
        CZelComObject* m_pOwner;
    };

    std::atomic<ULONG> m_References{0};
    IUnknown* m_pOuter;
    Inner m_Inner;
    CZelModuleLock m_ModuleLock;
};

// Makes an object of class T (plain or aggregated), runs its final
// construction and asks it for iid; on any failure the object is gone.
template <class T>
HRESULT ZelCreateObject(IUnknown* outer, REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (outer != nullptr && iid != IID_IUnknown)
        return CLASS_E_NOAGGREGATION;
    T* made = new (std::nothrow) T(outer);
    if (made == nullptr)
        return E_OUTOFMEMORY;
    IUnknown* owner = made->ControllingUnknown();
    owner->AddRef();
    HRESULT hr = made->FinalConstruct();
    if (SUCCEEDED(hr))
        hr = owner->QueryInterface(iid, object);
    owner->Release();
    return hr;
}
