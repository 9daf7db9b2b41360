// libJexVars.so as programs load it, and small helpers for its interfaces.
#pragma once

#include "jexcommon/ZelSharedLibrary.h"
#include "jexvars/ZelVars.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varstest {

// The library, loaded once per test process from the build's output folder.
struct Library {
    ZelDllGetClassObject getClassObject = nullptr;
    ZelDllCanUnloadNow canUnloadNow = nullptr;
    ZelDllRegisterServer registerServer = nullptr;
    ZelDllRegisterServer unregisterServer = nullptr;
};
const Library& Vars();

// A BSTR owned by the test.
class Bstr {
public:
    explicit Bstr(const char16_t* text) : m_Text(SysAllocString(text)) {}
    explicit Bstr(BSTR taken, bool) : m_Text(taken) {}
    ~Bstr() { SysFreeString(m_Text); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return m_Text; }
    std::u16string Text() const { return m_Text == nullptr ? u"" : std::u16string(m_Text, SysStringLen(m_Text)); }

private:
    BSTR m_Text;
};

// A new builder from the class factory, one reference for the caller.
IZelVarBuilder* NewBuilder();
// A new object of a class, asked for iid.
template <class T>
T* New(const CLSID& clsid, const IID& iid)
{
    IClassFactory* factory = nullptr;
    EXPECT_EQ(Vars().getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    T* object = nullptr;
    if (factory != nullptr) {
        EXPECT_EQ(factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&object)), S_OK);
        factory->Release();
    }
    return object;
}

std::vector<uint8_t> Magic();
void PutTag(std::vector<uint8_t>& bytes, const char* tag);
void Put32(std::vector<uint8_t>& bytes, int32_t value);
void PutText(std::vector<uint8_t>& bytes, const std::u16string& text);

} // namespace varstest
