// ZELMAIN, the one export of libJexSetupVars.so: parses a command text, binds
// libJexVars.so from the directory it is given (no registry is used) and
// runs the commands against one variable builder.
#include "ZelSetupScript.h"
#include "jexcommon/ZelExport.h"
#include "jexcommon/ZelText.h"

#include <dlfcn.h>

#include <string>

namespace {

// The path of the variable store, kept for the process and replaced by
// every call.
std::string g_LibraryPath;

IZelVarBuilder* BindBuilder(const char16_t* directory)
{
    std::u16string folder;
    if (directory != nullptr)
        for (size_t i = 0; directory[i] != 0; ++i)
            folder.push_back(directory[i]);
    g_LibraryPath = ZelWideToNarrow(ZelUtf16ToWide(folder.data(), folder.size())) + "/libJexVars.so";
    // The library stays loaded for the rest of the process.
    void* library = dlopen(g_LibraryPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr)
        return nullptr;
    auto getClassObject = reinterpret_cast<ZelDllGetClassObject>(dlsym(library, "DllGetClassObject"));
    if (getClassObject == nullptr) {
        dlclose(library);
        return nullptr;
    }
    IClassFactory* factory = nullptr;
    if (FAILED(getClassObject(CLSID_CZelVarBuilder, IID_IClassFactory, reinterpret_cast<void**>(&factory))) ||
        factory == nullptr)
        return nullptr;
    IZelVarBuilder* builder = nullptr;
    HRESULT hr = factory->CreateInstance(nullptr, IID_IZelVarBuilder, reinterpret_cast<void**>(&builder));
    factory->Release();
    return SUCCEEDED(hr) ? builder : nullptr;
}

} // namespace

extern "C" ZEL_EXPORT int32_t ZELMAIN(const char16_t* commands, const char16_t* directory)
{
    CZelScript script;
    script.Parse(commands);
    IZelVarBuilder* builder = BindBuilder(directory);
    if (builder == nullptr)
        return -1;
    int32_t result = script.Run(builder);
    builder->Release();
    return result;
}
