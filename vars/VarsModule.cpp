#include "VarsModule.h"

#include "Registry.h"
#include "RegistryScript.h"
#include "ZelComObject.h"
#include "ZelVarBuilder.h"
#include "ZelVariables.h"
#include "jexcommon/ZelExport.h"

#include <dlfcn.h>

#include <map>
#include <memory>
#include <vector>

CJexVarsModule& CJexVarsModule::Instance()
{
    static CJexVarsModule module;
    return module;
}

std::string CJexVarsModule::LibraryPath() const
{
    Dl_info info;
    if (dladdr(reinterpret_cast<const void*>(&CJexVarsModule::Instance), &info) == 0 || info.dli_fname == nullptr)
        return std::string();
    return info.dli_fname;
}

namespace {

typedef HRESULT (*Creator)(IUnknown* outer, REFIID iid, void** object);

struct ClassEntry {
    const CLSID* clsid;
    const char* name;
    Creator create;
};

// The class table, in registration order.
const ClassEntry kClasses[] = {
    {&CLSID_CZelVariable, "CZelVariable", &ZelCreateObject<CZelVariable>},
    {&CLSID_CZelString, "CZelString", &ZelCreateObject<CZelString>},
    {&CLSID_CZelLong, "CZelLong", &ZelCreateObject<CZelLong>},
    {&CLSID_CZelDouble, "CZelDouble", &ZelCreateObject<CZelDouble>},
    {&CLSID_CZelArray, "CZelArray", &ZelCreateObject<CZelArray>},
    {&CLSID_CZelVarBuilder, "CZelVarBuilder", &ZelCreateObject<CZelVarBuilder>},
};

// The class factory of one class. The module keeps one per class for its
// whole life; references callers hold beyond that one keep the library
// loaded.
class CZelClassFactory : public IClassFactory {
public:
    explicit CZelClassFactory(Creator create) : m_Create(create) {}

    HRESULT QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        *object = nullptr;
        if (iid != IID_IUnknown && iid != IID_IClassFactory)
            return E_NOINTERFACE;
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override
    {
        ULONG count = ++m_References;
        if (count == 2)
            CJexVarsModule::Instance().Lock();
        return count;
    }
    ULONG Release() override
    {
        ULONG count = --m_References;
        if (count == 1)
            CJexVarsModule::Instance().Unlock();
        // The module's own reference is never given back.
        return count;
    }
    HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        return m_Create(outer, iid, object);
    }
    HRESULT LockServer(int lock) override
    {
        if (lock)
            CJexVarsModule::Instance().Lock();
        else
            CJexVarsModule::Instance().Unlock();
        return S_OK;
    }

private:
    Creator m_Create;
    std::atomic<ULONG> m_References{1};
};

// The registry script of a class: its ProgIDs and its CLSID entry.
std::string ClassScript(const ClassEntry& entry)
{
    std::string name = entry.name;
    std::string clsid = ZelGuidToString(*entry.clsid);
    std::string description = name + " Class";
    return "HKCR\n{\n"
           "  JexVars." + name + ".1 = s '" + description + "'\n  {\n    CLSID = s '" + clsid + "'\n  }\n"
           "  JexVars." + name + " = s '" + description + "'\n  {\n    CLSID = s '" + clsid +
           "'\n    CurVer = s 'JexVars." + name + ".1'\n  }\n"
           "  NoRemove CLSID\n  {\n    ForceRemove " + clsid + " = s '" + description + "'\n    {\n"
           "      ProgID = s 'JexVars." + name + ".1'\n"
           "      VersionIndependentProgID = s 'JexVars." + name + "'\n"
           "      ForceRemove 'Programmable'\n"
           "      InprocServer32 = s '%MODULE%'\n      {\n        val ThreadingModel = s 'Apartment'\n      }\n"
           "      'TypeLib' = s '%LIBID%'\n"
           "      val AppID = s '%APPID%'\n    }\n  }\n}\n";
}

// The application's script.
const char* const kAppScript = R"(HKCR
{
  NoRemove AppID
  {
    '%APPID%' = s 'JexVars'
    'JexVars.DLL'
    {
      val AppID = s '%APPID%'
    }
  }
}
)";

// The type library's entries.
const char* const kTypeLibraryScript = R"(HKCR
{
  NoRemove TypeLib
  {
    ForceRemove '%LIBID%'
    {
      '1.0' = s 'JexVars 1.0 Type Library'
      {
        '0'
        {
          win32 = s '%MODULE%'
        }
        FLAGS = s '0'
      }
    }
  }
}
)";

std::map<std::string, std::string> Replacements()
{
    return {{"MODULE", CJexVarsModule::Instance().LibraryPath()},
            {"APPID", ZelGuidToString(APPID_JexVars)},
            {"LIBID", ZelGuidToString(LIBID_JexVarsLib)}};
}

HRESULT RunScripts(bool registering)
{
    CZelRegistry registry;
    if (!registry.Load(CZelRegistry::DefaultPath()))
        return REGDB_E_WRITEREGDB;
    auto replacements = Replacements();
    std::vector<std::string> scripts;
    if (registering) {
        scripts.push_back(kAppScript);
        for (const ClassEntry& entry : kClasses)
            scripts.push_back(ClassScript(entry));
        scripts.push_back(kTypeLibraryScript);
    } else {
        for (const ClassEntry& entry : kClasses)
            scripts.push_back(ClassScript(entry));
        scripts.push_back(kTypeLibraryScript);
        scripts.push_back(kAppScript);
    }
    for (const std::string& script : scripts) {
        HRESULT hr = ZelRunRegistryScript(registry, script, replacements, registering);
        if (FAILED(hr))
            return hr;
    }
    return registry.Save() ? S_OK : REGDB_E_WRITEREGDB;
}

} // namespace

extern "C" ZEL_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    *object = nullptr;
    static std::unique_ptr<CZelClassFactory> factories[sizeof kClasses / sizeof kClasses[0]];
    for (size_t i = 0; i < sizeof kClasses / sizeof kClasses[0]; ++i) {
        if (*kClasses[i].clsid != clsid)
            continue;
        CZelClassFactory* factory;
        {
            std::lock_guard<std::mutex> lock(CJexVarsModule::Instance().FactoryLock());
            if (!factories[i])
                factories[i] = std::make_unique<CZelClassFactory>(kClasses[i].create);
            factory = factories[i].get();
        }
        return factory->QueryInterface(iid, object);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" ZEL_EXPORT HRESULT DllCanUnloadNow()
{
    return CJexVarsModule::Instance().LockCount() == 0 ? S_OK : S_FALSE;
}

extern "C" ZEL_EXPORT HRESULT DllRegisterServer()
{
    return RunScripts(true);
}

extern "C" ZEL_EXPORT HRESULT DllUnregisterServer()
{
    return RunScripts(false);
}
