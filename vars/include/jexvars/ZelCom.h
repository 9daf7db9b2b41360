// The small component layer the variable store is built on: identifiers,
// result codes, BSTR, VARIANT and the IUnknown, IDispatch and IClassFactory
// interfaces, with the values and slot orders their Windows counterparts
// have. Shared by the variable store, the setup library and the programs.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

typedef int32_t HRESULT;
typedef uint32_t ULONG;
typedef uint32_t UINT;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t LCID;
typedef int32_t DISPID;
typedef char16_t OLECHAR;
typedef OLECHAR* LPOLESTR;
typedef const OLECHAR* LPCOLESTR;
typedef OLECHAR* BSTR;
typedef int16_t VARIANT_BOOL;
typedef uint16_t VARTYPE;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

#define ZEL_HR(value) static_cast<HRESULT>(static_cast<uint32_t>(value))
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = ZEL_HR(0x80004001u);
constexpr HRESULT E_NOINTERFACE = ZEL_HR(0x80004002u);
constexpr HRESULT E_POINTER = ZEL_HR(0x80004003u);
constexpr HRESULT E_FAIL = ZEL_HR(0x80004005u);
constexpr HRESULT E_UNEXPECTED = ZEL_HR(0x8000FFFFu);
constexpr HRESULT E_OUTOFMEMORY = ZEL_HR(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = ZEL_HR(0x80070057u);
constexpr HRESULT CLASS_E_NOAGGREGATION = ZEL_HR(0x80040110u);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = ZEL_HR(0x80040111u);
constexpr HRESULT REGDB_E_CLASSNOTREG = ZEL_HR(0x80040154u);
constexpr HRESULT REGDB_E_WRITEREGDB = ZEL_HR(0x80040151u);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = ZEL_HR(0x80020001u);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = ZEL_HR(0x80020003u);
constexpr HRESULT DISP_E_PARAMNOTFOUND = ZEL_HR(0x80020004u);
constexpr HRESULT DISP_E_TYPEMISMATCH = ZEL_HR(0x80020005u);
constexpr HRESULT DISP_E_UNKNOWNNAME = ZEL_HR(0x80020006u);
constexpr HRESULT DISP_E_BADINDEX = ZEL_HR(0x8002000Bu);
constexpr HRESULT DISP_E_BADPARAMCOUNT = ZEL_HR(0x8002000Eu);
constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = ZEL_HR(0x8002000Fu);

inline bool SUCCEEDED(HRESULT hr)
{
    return hr >= 0;
}
inline bool FAILED(HRESULT hr)
{
    return hr < 0;
}

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;

inline bool operator==(const GUID& a, const GUID& b)
{
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}
inline bool operator!=(const GUID& a, const GUID& b)
{
    return !(a == b);
}
inline bool IsEqualGUID(const GUID& a, const GUID& b)
{
    return a == b;
}

constexpr IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

// BSTR: a zero-terminated UTF-16 text with its byte length in the four
// bytes in front of the pointer. Every binary of the system uses these same
// inline functions over the C heap, so a BSTR made by one is freed by
// another.
inline BSTR SysAllocStringLen(const OLECHAR* text, UINT units)
{
    if (units > (UINT32_MAX - 6) / 2)
        return nullptr;
    uint32_t bytes = units * static_cast<uint32_t>(sizeof(OLECHAR));
    char* block = static_cast<char*>(std::malloc(4 + bytes + sizeof(OLECHAR)));
    if (block == nullptr)
        return nullptr;
    std::memcpy(block, &bytes, 4);
    BSTR result = reinterpret_cast<BSTR>(block + 4);
    if (text != nullptr)
        std::memcpy(result, text, bytes);
    else
        std::memset(result, 0, bytes);
    result[units] = 0;
    return result;
}
inline UINT ZelTextLength(const OLECHAR* text)
{
    UINT n = 0;
    if (text != nullptr)
        while (text[n] != 0)
            ++n;
    return n;
}
inline BSTR SysAllocString(const OLECHAR* text)
{
    return text == nullptr ? nullptr : SysAllocStringLen(text, ZelTextLength(text));
}
inline void SysFreeString(BSTR text)
{
    if (text != nullptr)
        std::free(reinterpret_cast<char*>(text) - 4);
}
inline UINT SysStringByteLen(BSTR text)
{
    if (text == nullptr)
        return 0;
    uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<char*>(text) - 4, 4);
    return bytes;
}
inline UINT SysStringLen(BSTR text)
{
    return SysStringByteLen(text) / sizeof(OLECHAR);
}

// VARIANT, as far as late binding of the store needs it.
enum : VARTYPE {
    VT_EMPTY = 0,
    VT_I4 = 3,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_BOOL = 11,
    VT_UNKNOWN = 13,
    VT_BYREF = 0x4000,
};

struct IUnknown;
struct IDispatch;

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1, wReserved2, wReserved3;
    union {
        LONG lVal;
        double dblVal;
        BSTR bstrVal;
        IDispatch* pdispVal;
        IUnknown* punkVal;
        VARIANT_BOOL boolVal;
    };
};
typedef VARIANT VARIANTARG;

struct DISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO;
struct ITypeInfo;

constexpr WORD DISPATCH_METHOD = 1;
constexpr WORD DISPATCH_PROPERTYGET = 2;
constexpr WORD DISPATCH_PROPERTYPUT = 4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 8;
constexpr DISPID DISPID_PROPERTYPUT = -3;
constexpr DISPID DISPID_UNKNOWN = -1;

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};

struct IDispatch : public IUnknown {
    virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) = 0;
    virtual HRESULT GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) = 0;
    virtual HRESULT Invoke(DISPID member, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* exception, UINT* argumentError) = 0;
};

struct IClassFactory : public IUnknown {
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;
    virtual HRESULT LockServer(int lock) = 0;
};

inline void VariantInit(VARIANT* v)
{
    std::memset(v, 0, sizeof(VARIANT));
}
inline HRESULT VariantClear(VARIANT* v)
{
    if (v == nullptr)
        return E_INVALIDARG;
    if (v->vt == VT_BSTR)
        SysFreeString(v->bstrVal);
    else if ((v->vt == VT_DISPATCH || v->vt == VT_UNKNOWN) && v->punkVal != nullptr)
        v->punkVal->Release();
    VariantInit(v);
    return S_OK;
}

// Exports of an in-process server.
typedef HRESULT (*ZelDllGetClassObject)(REFCLSID clsid, REFIID iid, void** object);
typedef HRESULT (*ZelDllCanUnloadNow)();
typedef HRESULT (*ZelDllRegisterServer)();
