// libJexVars.so as programs load it, and small helpers for its interfaces.
#pragma once

#include "jexcommon/ZelSharedLibrary.h"
#include "jexvars/ZelComPtr.h"
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
