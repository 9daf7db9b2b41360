// Late binding by name: each interface has a static table of its members
// (name, dispatch identifier, kind) with a function that unpacks the
// arguments from VARIANTs, makes the early-bound call and packs the result.
// GetIDsOfNames and Invoke of every object are served from these tables.
#pragma once

#include "jexvars/ZelVars.h"

#include <cstddef>
#include <vector>

struct CZelDispatchMember {
    const char16_t* name;
    DISPID id;
    WORD kind; // DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT
    UINT arguments;
    HRESULT (*call)(IDispatch* self, DISPPARAMS* params, VARIANT* result);
};

typedef std::vector<CZelDispatchMember> CZelDispatchTable;

// The tables of the store's interfaces.
const CZelDispatchTable& ZelVariableDispatch();
const CZelDispatchTable& ZelLongDispatch();
const CZelDispatchTable& ZelDoubleDispatch();
const CZelDispatchTable& ZelStringDispatch();
const CZelDispatchTable& ZelArrayDispatch();
const CZelDispatchTable& ZelBuilderDispatch();

// Names are matched ignoring the case of ASCII letters; only the first
// name (the member) is looked up, argument names are not known.
HRESULT ZelDispatchIDsOfNames(const CZelDispatchTable& table, LPOLESTR* names, UINT count, DISPID* ids);
HRESULT ZelDispatchInvoke(const CZelDispatchTable& table, IDispatch* self, DISPID id, WORD flags,
                          DISPPARAMS* params, VARIANT* result, UINT* argumentError);

// IDispatch of an object whose table is Table().
#define ZEL_IMPLEMENT_DISPATCH(Table)                                                                             \
    HRESULT GetTypeInfoCount(UINT* count) override                                                               \
    {                                                                                                            \
        if (count == nullptr)                                                                                    \
            return E_POINTER;                                                                                    \
        *count = 0;                                                                                              \
        return S_OK;                                                                                             \
    }                                                                                                            \
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override                                                   \
    {                                                                                                            \
        if (info != nullptr)                                                                                     \
            *info = nullptr;                                                                                     \
        return DISP_E_BADINDEX;                                                                                  \
    }                                                                                                            \
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override                       \
    {                                                                                                            \
        return ZelDispatchIDsOfNames(Table(), names, count, ids);                                                \
    }                                                                                                            \
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,         \
                   UINT* argumentError) override                                                                 \
    {                                                                                                            \
        return ZelDispatchInvoke(Table(), this, id, flags, params, result, argumentError);                       \
    }
