#include "ZelDispatch.h"

#include "jexvars/ZelComPtr.h"

namespace {

// Arguments come last first in rgvarg.
const VARIANT* Argument(DISPPARAMS* params, UINT index)
{
    return &params->rgvarg[params->cArgs - 1 - index];
}

HRESULT ArgLong(DISPPARAMS* params, UINT index, LONG& value)
{
    const VARIANT* v = Argument(params, index);
    if (v->vt == VT_I4)
        value = v->lVal;
    else if (v->vt == VT_BOOL)
        value = v->boolVal;
    else if (v->vt == VT_R8 && v->dblVal >= INT32_MIN && v->dblVal <= INT32_MAX)
        value = static_cast<LONG>(v->dblVal);
    else
        return DISP_E_TYPEMISMATCH;
    return S_OK;
}

HRESULT ArgDouble(DISPPARAMS* params, UINT index, double& value)
{
    const VARIANT* v = Argument(params, index);
    if (v->vt == VT_R8)
        value = v->dblVal;
    else if (v->vt == VT_I4)
        value = v->lVal;
    else
        return DISP_E_TYPEMISMATCH;
    return S_OK;
}

HRESULT ArgText(DISPPARAMS* params, UINT index, BSTR& value)
{
    const VARIANT* v = Argument(params, index);
    if (v->vt != VT_BSTR)
        return DISP_E_TYPEMISMATCH;
    value = v->bstrVal;
    return S_OK;
}

HRESULT ArgBool(DISPPARAMS* params, UINT index, VARIANT_BOOL& value)
{
    LONG number = 0;
    HRESULT hr = ArgLong(params, index, number);
    value = number != 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return hr;
}

// An object argument asked for interface iid (a reference the caller
// releases).
template <class T>
HRESULT ArgObject(DISPPARAMS* params, UINT index, REFIID iid, CZelComPtr<T>& value)
{
    const VARIANT* v = Argument(params, index);
    value.Reset();
    if (v->vt != VT_DISPATCH && v->vt != VT_UNKNOWN)
        return DISP_E_TYPEMISMATCH;
    if (v->punkVal == nullptr)
        return S_OK;
    return v->punkVal->QueryInterface(iid, value.OutVoid());
}

void SetLong(VARIANT* result, LONG value)
{
    if (result == nullptr)
        return;
    result->vt = VT_I4;
    result->lVal = value;
}

void SetDouble(VARIANT* result, double value)
{
    if (result == nullptr)
        return;
    result->vt = VT_R8;
    result->dblVal = value;
}

void SetText(VARIANT* result, BSTR value)
{
    if (result == nullptr) {
        SysFreeString(value);
        return;
    }
    result->vt = VT_BSTR;
    result->bstrVal = value;
}

void SetBool(VARIANT* result, VARIANT_BOOL value)
{
    if (result == nullptr)
        return;
    result->vt = VT_BOOL;
    result->boolVal = value;
}

// Hands an interface reference over to the result.
void SetObject(VARIANT* result, IDispatch* value)
{
    if (result == nullptr) {
        if (value != nullptr)
            value->Release();
        return;
    }
    result->vt = VT_DISPATCH;
    result->pdispVal = value;
}

template <class T>
T* As(IDispatch* self)
{
    return static_cast<T*>(self);
}

// The members every variable has.
std::vector<CZelDispatchMember> VariableMembers()
{
    return {
        {u"Type", 1, DISPATCH_PROPERTYGET, 0,
         [](IDispatch* s, DISPPARAMS*, VARIANT* r) {
             ZelVariableTypes t = ZelVariableTypes_None;
             HRESULT hr = As<IZelVariable>(s)->get_Type(&t);
             SetLong(r, t);
             return hr;
         }},
        {u"ToString", 2, DISPATCH_METHOD, 0,
         [](IDispatch* s, DISPPARAMS*, VARIANT* r) {
             IZelString* out = nullptr;
             HRESULT hr = As<IZelVariable>(s)->ToString(&out);
             SetObject(r, out);
             return hr;
         }},
        {u"Comment", 3, DISPATCH_PROPERTYGET, 0,
         [](IDispatch* s, DISPPARAMS*, VARIANT* r) {
             BSTR out = nullptr;
             HRESULT hr = As<IZelVariable>(s)->get_Comment(&out);
             SetText(r, out);
             return hr;
         }},
        {u"Comment", 3, DISPATCH_PROPERTYPUT, 1,
         [](IDispatch* s, DISPPARAMS* p, VARIANT*) {
             BSTR in = nullptr;
             HRESULT hr = ArgText(p, 0, in);
             return FAILED(hr) ? hr : As<IZelVariable>(s)->put_Comment(in);
         }},
        {u"Clone", 4, DISPATCH_METHOD, 0,
         [](IDispatch* s, DISPPARAMS*, VARIANT* r) {
             IZelVariable* out = nullptr;
             HRESULT hr = As<IZelVariable>(s)->Clone(&out);
             SetObject(r, out);
             return hr;
         }},
        {u"Parent", 5, DISPATCH_PROPERTYGET, 0,
         [](IDispatch* s, DISPPARAMS*, VARIANT* r) {
             IZelVariable* out = nullptr;
             HRESULT hr = As<IZelVariable>(s)->get_Parent(&out);
             SetObject(r, out);
             return hr;
         }},
        {u"Parent", 5, DISPATCH_PROPERTYPUT, 1,
         [](IDispatch* s, DISPPARAMS* p, VARIANT*) {
             CZelComPtr<IZelVariable> in;
             HRESULT hr = ArgObject(p, 0, IID_IZelVariable, in);
             if (SUCCEEDED(hr))
                 hr = As<IZelVariable>(s)->put_Parent(in.Get());
             return hr;
         }},
        {u"IndexOf", 6, DISPATCH_PROPERTYGET, 0,
         [](IDispatch* s, DISPPARAMS*, VARIANT* r) {
             LONG out = 0;
             HRESULT hr = As<IZelVariable>(s)->get_IndexOf(&out);
             SetLong(r, out);
             return hr;
         }},
        {u"IndexOf", 6, DISPATCH_PROPERTYPUT, 1,
         [](IDispatch* s, DISPPARAMS* p, VARIANT*) {
             LONG in = 0;
             HRESULT hr = ArgLong(p, 0, in);
             return FAILED(hr) ? hr : As<IZelVariable>(s)->put_IndexOf(in);
         }},
    };
}

std::vector<CZelDispatchMember> Join(std::vector<CZelDispatchMember> a, const std::vector<CZelDispatchMember>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

const CZelDispatchTable& ZelVariableDispatch()
{
    static const CZelDispatchTable table = VariableMembers();
    return table;
}

const CZelDispatchTable& ZelLongDispatch()
{
    static const CZelDispatchTable table = Join(
        VariableMembers(),
        {{u"Value", 10, DISPATCH_PROPERTYGET, 0,
          [](IDispatch* s, DISPPARAMS*, VARIANT* r) {
              LONG out = 0;
              HRESULT hr = As<IZelLong>(s)->get_Value(&out);
              SetLong(r, out);
              return hr;
          }},
         {u"Value", 10, DISPATCH_PROPERTYPUT, 1, [](IDispatch* s, DISPPARAMS* p, VARIANT*) {
              LONG in = 0;
              HRESULT hr = ArgLong(p, 0, in);
              return FAILED(hr) ? hr : As<IZelLong>(s)->put_Value(in);
          }}});
    return table;
}

const CZelDispatchTable& ZelDoubleDispatch()
{
    static const CZelDispatchTable table = Join(
        VariableMembers(),
        {{u"Value", 10, DISPATCH_PROPERTYGET, 0,
          [](IDispatch* s, DISPPARAMS*, VARIANT* r) {
              double out = 0;
              HRESULT hr = As<IZelDouble>(s)->get_Value(&out);
              SetDouble(r, out);
              return hr;
          }},
         {u"Value", 10, DISPATCH_PROPERTYPUT, 1, [](IDispatch* s, DISPPARAMS* p, VARIANT*) {
              double in = 0;
              HRESULT hr = ArgDouble(p, 0, in);
              return FAILED(hr) ? hr : As<IZelDouble>(s)->put_Value(in);
          }}});
    return table;
}

const CZelDispatchTable& ZelStringDispatch()
{
    static const CZelDispatchTable table = Join(
        VariableMembers(),
        {{u"Value", 10, DISPATCH_PROPERTYGET, 0,
          [](IDispatch* s, DISPPARAMS*, VARIANT* r) {
              BSTR out = nullptr;
              HRESULT hr = As<IZelString>(s)->get_Value(&out);
              SetText(r, out);
              return hr;
          }},
         {u"Value", 10, DISPATCH_PROPERTYPUT, 1, [](IDispatch* s, DISPPARAMS* p, VARIANT*) {
              BSTR in = nullptr;
              HRESULT hr = ArgText(p, 0, in);
              return FAILED(hr) ? hr : As<IZelString>(s)->put_Value(in);
          }}});
    return table;
}

const CZelDispatchTable& ZelArrayDispatch()
{
    static const CZelDispatchTable table = Join(
        VariableMembers(),
        {
            {u"AddByEnum", 10, DISPATCH_METHOD, 1,
             [](IDispatch* s, DISPPARAMS* p, VARIANT*) {
                 LONG type = 0;
                 HRESULT hr = ArgLong(p, 0, type);
                 return FAILED(hr) ? hr : As<IZelArray>(s)->AddByEnum(static_cast<ZelVariableTypes>(type));
             }},
            {u"Add", 11, DISPATCH_METHOD, 1,
             [](IDispatch* s, DISPPARAMS* p, VARIANT*) {
                 CZelComPtr<IZelVariable> in;
                 HRESULT hr = ArgObject(p, 0, IID_IZelVariable, in);
                 if (SUCCEEDED(hr))
                     hr = As<IZelArray>(s)->Add(in.Get());
                 return hr;
             }},
            {u"GetAt", 12, DISPATCH_METHOD, 1,
             [](IDispatch* s, DISPPARAMS* p, VARIANT* r) {
                 LONG index = 0;
                 HRESULT hr = ArgLong(p, 0, index);
                 if (FAILED(hr))
                     return hr;
                 IZelVariable* out = nullptr;
                 hr = As<IZelArray>(s)->GetAt(index, &out);
                 SetObject(r, out);
                 return hr;
             }},
            {u"RemoveAt", 13, DISPATCH_METHOD, 1,
             [](IDispatch* s, DISPPARAMS* p, VARIANT*) {
                 LONG index = 0;
                 HRESULT hr = ArgLong(p, 0, index);
                 return FAILED(hr) ? hr : As<IZelArray>(s)->RemoveAt(index);
             }},
            {u"RemoveAll", 14, DISPATCH_METHOD, 0,
             [](IDispatch* s, DISPPARAMS*, VARIANT*) { return As<IZelArray>(s)->RemoveAll(); }},
            {u"InsertAt", 15, DISPATCH_METHOD, 2,
             [](IDispatch* s, DISPPARAMS* p, VARIANT*) {
                 LONG index = 0;
                 HRESULT hr = ArgLong(p, 0, index);
                 CZelComPtr<IZelVariable> in;
                 if (SUCCEEDED(hr))
                     hr = ArgObject(p, 1, IID_IZelVariable, in);
                 if (SUCCEEDED(hr))
                     hr = As<IZelArray>(s)->InsertAt(index, in.Get());
                 return hr;
             }},
            {u"InsertAtByEnum", 16, DISPATCH_METHOD, 2,
             [](IDispatch* s, DISPPARAMS* p, VARIANT*) {
                 LONG index = 0, type = 0;
                 HRESULT hr = ArgLong(p, 0, index);
                 if (SUCCEEDED(hr))
                     hr = ArgLong(p, 1, type);
                 return FAILED(hr) ? hr
                                   : As<IZelArray>(s)->InsertAtByEnum(index, static_cast<ZelVariableTypes>(type));
             }},
            {u"Count", 17, DISPATCH_PROPERTYGET, 0,
             [](IDispatch* s, DISPPARAMS*, VARIANT* r) {
                 LONG out = 0;
                 HRESULT hr = As<IZelArray>(s)->get_Count(&out);
                 SetLong(r, out);
                 return hr;
             }},
        });
    return table;
}

const CZelDispatchTable& ZelBuilderDispatch()
{
    static const CZelDispatchTable table = {
        {u"ReadFile", 1, DISPATCH_METHOD, 1,
         [](IDispatch* s, DISPPARAMS* p, VARIANT* r) {
             BSTR name = nullptr;
             HRESULT hr = ArgText(p, 0, name);
             if (FAILED(hr))
                 return hr;
             VARIANT_BOOL done = VARIANT_FALSE;
             hr = As<IZelVarBuilder>(s)->ReadFile(name, &done);
             SetBool(r, done);
             return hr;
         }},
        {u"WriteFile", 2, DISPATCH_METHOD, 1,
         [](IDispatch* s, DISPPARAMS* p, VARIANT* r) {
             BSTR name = nullptr;
             HRESULT hr = ArgText(p, 0, name);
             if (FAILED(hr))
                 return hr;
             VARIANT_BOOL done = VARIANT_FALSE;
             hr = As<IZelVarBuilder>(s)->WriteFile(name, &done);
             SetBool(r, done);
             return hr;
         }},
        {u"FullFileName", 3, DISPATCH_PROPERTYGET, 0,
         [](IDispatch* s, DISPPARAMS*, VARIANT* r) {
             BSTR out = nullptr;
             HRESULT hr = As<IZelVarBuilder>(s)->get_FullFileName(&out);
             SetText(r, out);
             return hr;
         }},
        {u"FullFileNameClear", 4, DISPATCH_METHOD, 0,
         [](IDispatch* s, DISPPARAMS*, VARIANT*) { return As<IZelVarBuilder>(s)->FullFileNameClear(); }},
        {u"HasComments", 7, DISPATCH_PROPERTYGET, 0,
         [](IDispatch* s, DISPPARAMS*, VARIANT* r) {
             VARIANT_BOOL out = VARIANT_FALSE;
             HRESULT hr = As<IZelVarBuilder>(s)->get_HasComments(&out);
             SetBool(r, out);
             return hr;
         }},
        {u"HasComments", 7, DISPATCH_PROPERTYPUT, 1,
         [](IDispatch* s, DISPPARAMS* p, VARIANT*) {
             VARIANT_BOOL in = VARIANT_FALSE;
             HRESULT hr = ArgBool(p, 0, in);
             return FAILED(hr) ? hr : As<IZelVarBuilder>(s)->put_HasComments(in);
         }},
        {u"DoubleCreate", 10, DISPATCH_METHOD, 0,
         [](IDispatch* s, DISPPARAMS*, VARIANT* r) {
             IZelDouble* out = nullptr;
             HRESULT hr = As<IZelVarBuilder>(s)->DoubleCreate(&out);
             SetObject(r, out);
             return hr;
         }},
        {u"LongCreate", 11, DISPATCH_METHOD, 0,
         [](IDispatch* s, DISPPARAMS*, VARIANT* r) {
             IZelLong* out = nullptr;
             HRESULT hr = As<IZelVarBuilder>(s)->LongCreate(&out);
             SetObject(r, out);
             return hr;
         }},
        {u"StringCreate", 12, DISPATCH_METHOD, 0,
         [](IDispatch* s, DISPPARAMS*, VARIANT* r) {
             IZelString* out = nullptr;
             HRESULT hr = As<IZelVarBuilder>(s)->StringCreate(&out);
             SetObject(r, out);
             return hr;
         }},
        {u"ArrayCreate", 13, DISPATCH_METHOD, 0,
         [](IDispatch* s, DISPPARAMS*, VARIANT* r) {
             IZelArray* out = nullptr;
             HRESULT hr = As<IZelVarBuilder>(s)->ArrayCreate(&out);
             SetObject(r, out);
             return hr;
         }},
        {u"RootArray", 20, DISPATCH_PROPERTYGET, 0,
         [](IDispatch* s, DISPPARAMS*, VARIANT* r) {
             IZelArray* out = nullptr;
             HRESULT hr = As<IZelVarBuilder>(s)->get_RootArray(&out);
             SetObject(r, out);
             return hr;
         }},
        {u"RootArray", 20, DISPATCH_PROPERTYPUT, 1,
         [](IDispatch* s, DISPPARAMS* p, VARIANT*) {
             CZelComPtr<IZelArray> in;
             HRESULT hr = ArgObject(p, 0, IID_IZelArray, in);
             if (SUCCEEDED(hr))
                 hr = As<IZelVarBuilder>(s)->put_RootArray(in.Get());
             return hr;
         }},
        {u"MaxElements", 21, DISPATCH_PROPERTYGET, 0,
         [](IDispatch* s, DISPPARAMS*, VARIANT* r) {
             LONG out = 0;
             HRESULT hr = As<IZelVarBuilder>(s)->get_MaxElements(&out);
             SetLong(r, out);
             return hr;
         }},
        {u"MaxElements", 21, DISPATCH_PROPERTYPUT, 1,
         [](IDispatch* s, DISPPARAMS* p, VARIANT*) {
             LONG in = 0;
             HRESULT hr = ArgLong(p, 0, in);
             return FAILED(hr) ? hr : As<IZelVarBuilder>(s)->put_MaxElements(in);
         }},
    };
    return table;
}

namespace {

char16_t Lower(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool SameName(const char16_t* a, const char16_t* b)
{
    for (; *a != 0 && *b != 0; ++a, ++b)
        if (Lower(*a) != Lower(*b))
            return false;
    return *a == *b;
}

} // namespace

HRESULT ZelDispatchIDsOfNames(const CZelDispatchTable& table, LPOLESTR* names, UINT count, DISPID* ids)
{
    if (names == nullptr || ids == nullptr || count == 0)
        return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i)
        ids[i] = DISPID_UNKNOWN;
    if (names[0] == nullptr)
        return DISP_E_UNKNOWNNAME;
    for (const CZelDispatchMember& member : table)
        if (SameName(member.name, names[0])) {
            ids[0] = member.id;
            return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
        }
    return DISP_E_UNKNOWNNAME;
}

HRESULT ZelDispatchInvoke(const CZelDispatchTable& table, IDispatch* self, DISPID id, WORD flags,
                          DISPPARAMS* params, VARIANT* result, UINT* argumentError)
{
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    if (params == nullptr)
        params = &none;
    if (params->cArgs > 0 && params->rgvarg == nullptr)
        return E_INVALIDARG;
    for (const CZelDispatchMember& member : table) {
        if (member.id != id)
            continue;
        // A property read may also be asked for as a method call.
        bool kindFits = (member.kind & flags) != 0 ||
                        (member.kind == DISPATCH_PROPERTYGET && (flags & DISPATCH_METHOD) != 0) ||
                        (member.kind == DISPATCH_PROPERTYPUT && (flags & DISPATCH_PROPERTYPUTREF) != 0);
        if (!kindFits)
            continue;
        // Only the value of a property write may be named.
        UINT named = params->cNamedArgs;
        if (named > 1 || (named == 1 && (member.kind != DISPATCH_PROPERTYPUT || params->rgdispidNamedArgs == nullptr ||
                                         params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)))
            return DISP_E_PARAMNOTFOUND;
        if (params->cArgs != member.arguments)
            return params->cArgs < member.arguments ? DISP_E_PARAMNOTOPTIONAL : DISP_E_BADPARAMCOUNT;
        if (result != nullptr)
            VariantInit(result);
        HRESULT hr = member.call(self, params, result);
        if (hr == DISP_E_TYPEMISMATCH && argumentError != nullptr)
            *argumentError = 0;
        return hr;
    }
    return DISP_E_MEMBERNOTFOUND;
}
