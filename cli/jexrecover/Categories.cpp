#include "Categories.h"

#include "jexcommon/ZelSharedLibrary.h"
#include "jexcommon/ZelText.h"
#include "jexvars/ZelVars.h"

namespace {

// The texts of the array at position index of root; non-texts are skipped.
std::vector<std::string> TextsAt(IZelArray* root, LONG index)
{
    std::vector<std::string> texts;
    IZelVariable* element = nullptr;
    IZelArray* list = nullptr;
    if (FAILED(root->GetAt(index, &element)))
        return texts;
    element->QueryInterface(IID_IZelArray, reinterpret_cast<void**>(&list));
    element->Release();
    if (list == nullptr)
        return texts;
    LONG count = 0;
    list->get_Count(&count);
    for (LONG i = 0; i < count; ++i) {
        IZelVariable* item = nullptr;
        IZelString* text = nullptr;
        if (SUCCEEDED(list->GetAt(i, &item)) &&
            SUCCEEDED(item->QueryInterface(IID_IZelString, reinterpret_cast<void**>(&text)))) {
            BSTR value = nullptr;
            text->get_Value(&value);
            if (value != nullptr && SysStringLen(value) != 0)
                texts.push_back(ZelWideToNarrow(ZelUtf16ToWide(value, SysStringLen(value))));
            SysFreeString(value);
            text->Release();
        }
        if (item != nullptr)
            item->Release();
    }
    list->Release();
    return texts;
}

} // namespace

bool ZelReadCategories(const std::string& folder, std::map<std::string, std::vector<std::string>>& categories,
                       std::string& error)
{
    static CZelSharedLibrary vars;
    if (!vars.IsLoaded() && !vars.Load(folder, "libJexVars.so", error))
        return false;
    auto getClassObject = reinterpret_cast<ZelDllGetClassObject>(vars.Bind("DllGetClassObject", error));
    if (getClassObject == nullptr)
        return false;
    IClassFactory* factory = nullptr;
    IZelVarBuilder* builder = nullptr;
    if (FAILED(getClassObject(CLSID_CZelVarBuilder, IID_IClassFactory, reinterpret_cast<void**>(&factory)))) {
        error = "the variable store hands out no builder";
        return false;
    }
    HRESULT hr = factory->CreateInstance(nullptr, IID_IZelVarBuilder, reinterpret_cast<void**>(&builder));
    factory->Release();
    if (FAILED(hr)) {
        error = "the variable store hands out no builder";
        return false;
    }
    std::string path = folder + "/Params.vrl";
    std::u16string name = ZelNarrowToUtf16(path);
    BSTR file = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
    VARIANT_BOOL done = VARIANT_FALSE;
    IZelArray* root = nullptr;
    hr = builder->ReadFile(file, &done);
    SysFreeString(file);
    if (SUCCEEDED(hr) && done == VARIANT_TRUE)
        builder->get_RootArray(&root);
    builder->Release();
    if (root == nullptr) {
        error = path + ": the category lists cannot be read";
        return false;
    }
    const char* names[] = {"documents", "audio", "images", "video"};
    for (LONG i = 0; i < 4; ++i)
        categories[names[i]] = TextsAt(root, i + 1);
    root->Release();
    return true;
}
