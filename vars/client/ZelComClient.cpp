#include "jexvars/ZelComClient.h"

#include "Registry.h"
#include "jexvars/ZelVarsClient.h"

#include <dlfcn.h>

HRESULT ZelCreateInstanceFromRegistry(REFCLSID clsid, IUnknown* outer, REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    CZelRegistry registry;
    std::string library;
    if (!registry.Load(CZelRegistry::DefaultPath()) ||
        !registry.GetValue("HKCR\\CLSID\\" + ZelGuidToString(clsid) + "\\InprocServer32", "", library) ||
        library.empty())
        return REGDB_E_CLASSNOTREG;
    // The library stays loaded: objects it made may outlive this call.
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr)
        return REGDB_E_CLASSNOTREG;
    auto getClassObject = reinterpret_cast<ZelDllGetClassObject>(dlsym(handle, "DllGetClassObject"));
    if (getClassObject == nullptr)
        return REGDB_E_CLASSNOTREG;
    return ZelCreateFromClassObject(getClassObject, clsid, outer, iid, object);
}
