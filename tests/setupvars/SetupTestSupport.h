// ZELMAIN of libJexSetupVars.so, and reading .vrl files back, for the
// setup library's tests.
#pragma once

#include "VarsTestSupport.h"

#include <string>

namespace setuptest {

typedef int32_t (*ZelMainExport)(const char16_t* commands, const char16_t* directory);

inline ZelMainExport ZelMain()
{
    static ZelMainExport function = [] {
        static CZelSharedLibrary library;
        std::string error;
        if (!library.Load(JEX_BIN_DIR, "libJexSetupVars.so", error)) {
            ADD_FAILURE() << error;
            return static_cast<ZelMainExport>(nullptr);
        }
        return reinterpret_cast<ZelMainExport>(library.Bind("ZELMAIN", error));
    }();
    return function;
}

inline std::u16string U16(const std::string& text)
{
    return std::u16string(text.begin(), text.end());
}

// Runs a command text (ASCII) with the build's output folder as directory.
inline int32_t RunScript(const std::string& commands, const std::string& directory = JEX_BIN_DIR)
{
    std::u16string text = U16(commands), folder = U16(directory);
    return ZelMain()(text.c_str(), folder.c_str());
}

// The root array of a .vrl file, or null.
inline IZelArray* ReadRoot(const std::string& path)
{
    IZelVarBuilder* builder = varstest::NewBuilder();
    if (builder == nullptr)
        return nullptr;
    std::u16string name = U16(path);
    varstest::Bstr file(name.c_str());
    VARIANT_BOOL done = VARIANT_FALSE;
    IZelArray* root = nullptr;
    if (SUCCEEDED(builder->ReadFile(file, &done)) && done == VARIANT_TRUE)
        builder->get_RootArray(&root);
    builder->Release();
    return root;
}

inline IZelVariable* At(IZelArray* array, LONG index)
{
    IZelVariable* element = nullptr;
    array->GetAt(index, &element);
    return element;
}

// The text of a string element, or "(none)".
inline std::u16string TextAt(IZelArray* array, LONG index)
{
    IZelVariable* element = At(array, index);
    IZelString* text = nullptr;
    std::u16string value = u"(none)";
    if (element != nullptr && SUCCEEDED(element->QueryInterface(IID_IZelString, reinterpret_cast<void**>(&text)))) {
        BSTR raw = nullptr;
        text->get_Value(&raw);
        value = raw == nullptr ? u"(null)" : std::u16string(raw, SysStringLen(raw));
        SysFreeString(raw);
        text->Release();
    }
    if (element != nullptr)
        element->Release();
    return value;
}

inline IZelArray* ArrayAt(IZelArray* array, LONG index)
{
    IZelVariable* element = At(array, index);
    IZelArray* inner = nullptr;
    if (element != nullptr) {
        element->QueryInterface(IID_IZelArray, reinterpret_cast<void**>(&inner));
        element->Release();
    }
    return inner;
}

} // namespace setuptest
