// The variable store's interfaces: typed variables in a tree of arrays, and
// the builder that reads and writes such a tree as a .vrl file.
#pragma once

#include "jexvars/ZelCom.h"

enum ZelVariableTypes : int32_t {
    ZelVariableTypes_None = 0,
    ZelVariableTypes_Long = 1,
    ZelVariableTypes_Double = 2,
    ZelVariableTypes_String = 3,
    ZelVariableTypes_Array = 4,
};

constexpr HRESULT ZEL_E_BADHEADER = ZEL_HR(0x80040300u);
constexpr HRESULT ZEL_E_NOMEMORY = ZEL_HR(0x80040302u);
constexpr HRESULT ZEL_E_FILEIO = ZEL_HR(0x80040303u);
constexpr HRESULT ZEL_E_INVALIDARG = ZEL_HR(0x80040308u);
constexpr HRESULT ZEL_E_BADLENGTH = ZEL_HR(0x80040326u);

constexpr IID IID_IZelVariable = {0xF66EAD0B, 0x4133, 0x4C20, {0xB4, 0x62, 0x4A, 0x4E, 0x4C, 0x7A, 0x9A, 0xCF}};
constexpr IID IID_IZelLong = {0xBDE622E0, 0xB25B, 0x4AD8, {0x92, 0xBE, 0x3C, 0x1E, 0x60, 0x6D, 0xE8, 0xF5}};
constexpr IID IID_IZelDouble = {0xFAC21D93, 0x1BEB, 0x4B94, {0xAA, 0x48, 0xE3, 0x78, 0xD5, 0x59, 0x5F, 0x4C}};
constexpr IID IID_IZelString = {0x735A9D35, 0x2C73, 0x40B6, {0x91, 0xD8, 0x6C, 0xAA, 0x36, 0x33, 0x5C, 0xCD}};
constexpr IID IID_IZelArray = {0x1C832D63, 0x1B95, 0x4EBF, {0x8F, 0x0B, 0x07, 0x36, 0xAD, 0x9E, 0x4C, 0xA0}};
constexpr IID IID_IZelVarBuilder = {0xC5AB19D2, 0x3877, 0x4167, {0x83, 0x4D, 0x48, 0xE5, 0xA1, 0x41, 0x37, 0xBC}};

constexpr CLSID CLSID_CZelVariable = {0x1BAC8AE3, 0xF338, 0x4D59, {0xA8, 0xA4, 0xCF, 0xEB, 0xCB, 0xEB, 0x4A, 0xEE}};
constexpr CLSID CLSID_CZelLong = {0x9C2338ED, 0x99C0, 0x4CB5, {0x99, 0x4E, 0x35, 0x5C, 0xD4, 0xA1, 0x16, 0xCD}};
constexpr CLSID CLSID_CZelDouble = {0xE0192D49, 0x2763, 0x4B1C, {0xBE, 0xB0, 0x03, 0x55, 0x5A, 0xDE, 0x89, 0xA4}};
constexpr CLSID CLSID_CZelString = {0x47E32986, 0x363B, 0x43DA, {0xB5, 0x7A, 0x79, 0x6F, 0x7A, 0x2E, 0xE1, 0xE6}};
constexpr CLSID CLSID_CZelArray = {0x8C534A18, 0xB1FC, 0x4864, {0x86, 0x51, 0x49, 0x43, 0xC1, 0xAE, 0x4E, 0x0B}};
constexpr CLSID CLSID_CZelVarBuilder = {0x95750870, 0xE914, 0x4259, {0x96, 0x8C, 0xAE, 0xE3, 0x56, 0x46, 0x27, 0x10}};
constexpr GUID LIBID_JexVarsLib = {0x7A5A92F6, 0x6F01, 0x46ED, {0x82, 0x90, 0x88, 0x45, 0x36, 0x9B, 0x01, 0xF4}};
constexpr GUID APPID_JexVars = {0xE4A47E4E, 0x18D5, 0x4DC6, {0x86, 0xA7, 0x07, 0x2B, 0x23, 0x62, 0x75, 0x38}};

struct IZelString;

struct IZelVariable : public IDispatch {
    virtual HRESULT get_Type(ZelVariableTypes* lVal) = 0;
    virtual HRESULT ToString(IZelString** pOut) = 0;
    virtual HRESULT get_Comment(BSTR* bstrVal) = 0;
    virtual HRESULT put_Comment(BSTR bstrVal) = 0;
    virtual HRESULT Clone(IZelVariable** pVar) = 0;
    virtual HRESULT get_Parent(IZelVariable** pParent) = 0;
    virtual HRESULT put_Parent(IZelVariable* pParent) = 0;
    virtual HRESULT get_IndexOf(LONG* lVal) = 0;
    virtual HRESULT put_IndexOf(LONG lVal) = 0;
};

struct IZelLong : public IZelVariable {
    virtual HRESULT get_Value(LONG* lVal) = 0;
    virtual HRESULT put_Value(LONG lVal) = 0;
};

struct IZelDouble : public IZelVariable {
    virtual HRESULT get_Value(double* dblVal) = 0;
    virtual HRESULT put_Value(double dblVal) = 0;
};

struct IZelString : public IZelVariable {
    virtual HRESULT get_Value(BSTR* bstrVal) = 0;
    virtual HRESULT put_Value(BSTR bstrVal) = 0;
};

struct IZelArray : public IZelVariable {
    virtual HRESULT AddByEnum(ZelVariableTypes enumType) = 0;
    virtual HRESULT Add(IZelVariable* pVar) = 0;
    virtual HRESULT GetAt(LONG lIndex, IZelVariable** pOut) = 0;
    virtual HRESULT RemoveAt(LONG lIndex) = 0;
    virtual HRESULT RemoveAll() = 0;
    virtual HRESULT InsertAt(LONG lIndex, IZelVariable* pVar) = 0;
    virtual HRESULT InsertAtByEnum(LONG lIndex, ZelVariableTypes enumType) = 0;
    virtual HRESULT get_Count(LONG* lVal) = 0;
};

struct IZelVarBuilder : public IDispatch {
    virtual HRESULT ReadFile(BSTR bstrFullFileName, VARIANT_BOOL* vbRes) = 0;
    virtual HRESULT WriteFile(BSTR bstrFullFileName, VARIANT_BOOL* vbRes) = 0;
    virtual HRESULT get_FullFileName(BSTR* bstrVal) = 0;
    virtual HRESULT FullFileNameClear() = 0;
    virtual HRESULT get_HasComments(VARIANT_BOOL* vbVal) = 0;
    virtual HRESULT put_HasComments(VARIANT_BOOL vbVal) = 0;
    virtual HRESULT DoubleCreate(IZelDouble** pOut) = 0;
    virtual HRESULT LongCreate(IZelLong** pOut) = 0;
    virtual HRESULT StringCreate(IZelString** pOut) = 0;
    virtual HRESULT ArrayCreate(IZelArray** pOut) = 0;
    virtual HRESULT get_RootArray(IZelArray** pOut) = 0;
    virtual HRESULT put_RootArray(IZelArray* pIn) = 0;
    // The most elements ReadFile reads a file into (1,048,576 unless
    // raised); a file holding more is refused whole.
    virtual HRESULT get_MaxElements(LONG* lVal) = 0;
    virtual HRESULT put_MaxElements(LONG lVal) = 0;
};
