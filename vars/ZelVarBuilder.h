// The builder: owns the root array of one tree, reads it from and writes it
// to .vrl files, and makes free-standing variables.
#pragma once

#include "jexvars/ZelComPtr.h"

#include "VrlFile.h"
#include "ZelComObject.h"
#include "ZelDispatch.h"
#include "jexvars/ZelVars.h"

#include <mutex>

class CZelVarBuilder : public CZelComObject<IZelVarBuilder> {
public:
    explicit CZelVarBuilder(IUnknown* outer);
    ~CZelVarBuilder() override;
    HRESULT FinalConstruct() override;

    HRESULT ReadFile(BSTR bstrFullFileName, VARIANT_BOOL* vbRes) override;
    HRESULT WriteFile(BSTR bstrFullFileName, VARIANT_BOOL* vbRes) override;
    HRESULT get_FullFileName(BSTR* bstrVal) override;
    HRESULT FullFileNameClear() override;
    HRESULT get_HasComments(VARIANT_BOOL* vbVal) override;
    HRESULT put_HasComments(VARIANT_BOOL vbVal) override;
    HRESULT DoubleCreate(IZelDouble** pOut) override;
    HRESULT LongCreate(IZelLong** pOut) override;
    HRESULT StringCreate(IZelString** pOut) override;
    HRESULT ArrayCreate(IZelArray** pOut) override;
    HRESULT get_RootArray(IZelArray** pOut) override;
    HRESULT put_RootArray(IZelArray* pIn) override;
    HRESULT get_MaxElements(LONG* lVal) override;
    HRESULT put_MaxElements(LONG lVal) override;
    ZEL_IMPLEMENT_DISPATCH(ZelBuilderDispatch)

protected:
    bool Answers(REFIID iid) const override { return iid == IID_IZelVarBuilder; }

private:
    HRESULT RememberName(BSTR name);

    std::recursive_mutex m_Lock;
    VARIANT_BOOL m_HasComments = VARIANT_FALSE;
    BSTR m_FullFileName;
    CZelComPtr<IZelArray> m_pRoot;
    LONG m_MaxElements = static_cast<LONG>(kVrlDefaultElementLimit);
};
