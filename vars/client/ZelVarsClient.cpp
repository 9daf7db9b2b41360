#include "jexvars/ZelVarsClient.h"

#include "jexcommon/ZelSharedLibrary.h"
#include "jexcommon/ZelText.h"

HRESULT ZelCreateFromClassObject(ZelDllGetClassObject getClassObject, REFCLSID clsid, IUnknown* outer, REFIID iid,
                                 void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    if (getClassObject == nullptr)
        return E_POINTER;
    CZelComPtr<IClassFactory> factory;
    HRESULT hr = getClassObject(clsid, IID_IClassFactory, factory.OutVoid());
    if (FAILED(hr))
        return hr;
    if (!factory)
        return E_FAIL;
    return factory->CreateInstance(outer, iid, object);
}

HRESULT ZelNewVarBuilder(ZelDllGetClassObject getClassObject, CZelComPtr<IZelVarBuilder>& builder)
{
    return ZelCreateFromClassObject(getClassObject, CLSID_CZelVarBuilder, nullptr, IID_IZelVarBuilder,
                                    builder.OutVoid());
}

bool ZelLoadVarBuilder(const std::string& folder, CZelComPtr<IZelVarBuilder>& builder, std::string& error)
{
    CZelSharedLibrary library;
    if (!library.Load(folder, "libJexVars.so", error))
        return false;
    auto getClassObject = reinterpret_cast<ZelDllGetClassObject>(library.Bind("DllGetClassObject", error));
    if (getClassObject == nullptr)
        return false;
    if (FAILED(ZelNewVarBuilder(getClassObject, builder)) || !builder) {
        error = library.Path() + " hands out no variable builder";
        return false;
    }
    return true;
}

CZelComPtr<IZelArray> ZelReadVrlFile(IZelVarBuilder& builder, const std::string& path)
{
    CZelComPtr<IZelArray> root;
    CZelBstr name(ZelNarrowToUtf16(path));
    VARIANT_BOOL done = VARIANT_FALSE;
    if (name.Get() != nullptr && SUCCEEDED(builder.ReadFile(name.Get(), &done)) && done == VARIANT_TRUE)
        builder.get_RootArray(root.Out());
    return root;
}

CZelComPtr<IZelArray> ZelArrayAt(IZelArray& array, LONG index)
{
    CZelComPtr<IZelVariable> element;
    if (FAILED(array.GetAt(index, element.Out())))
        return CZelComPtr<IZelArray>();
    return element.As<IZelArray>(IID_IZelArray);
}

bool ZelTextAt(IZelArray& array, LONG index, std::u16string& text)
{
    CZelComPtr<IZelVariable> element;
    if (FAILED(array.GetAt(index, element.Out())))
        return false;
    CZelComPtr<IZelString> string = element.As<IZelString>(IID_IZelString);
    if (!string)
        return false;
    CZelBstr value;
    string->get_Value(value.Out());
    text = value.Text();
    return true;
}
