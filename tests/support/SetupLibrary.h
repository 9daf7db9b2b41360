// ZELMAIN of libJexSetupVars.so, and reading .vrl files back, for the
// setup library's tests.
#pragma once

#include "support/VarsLibrary.h"
#include "jexvars/ZelVarsClient.h"

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

// The root array of a .vrl file, or empty.
inline CZelComPtr<IZelArray> ReadRoot(const std::string& path)
{
    CZelComPtr<IZelVarBuilder> builder(varstest::NewBuilder());
    return builder ? ZelReadVrlFile(*builder.Get(), path) : CZelComPtr<IZelArray>();
}

// The text of a string element, or "(none)".
inline std::u16string TextAt(const CZelComPtr<IZelArray>& array, LONG index)
{
    std::u16string text;
    return ZelTextAt(*array.Get(), index, text) ? text : u"(none)";
}

inline CZelComPtr<IZelArray> ArrayAt(const CZelComPtr<IZelArray>& array, LONG index)
{
    return ZelArrayAt(*array.Get(), index);
}

// The value of a long element; INT32_MIN when it is none.
inline LONG LongAt(const CZelComPtr<IZelArray>& array, LONG index)
{
    CZelComPtr<IZelVariable> element;
    if (FAILED(array->GetAt(index, element.Out())))
        return INT32_MIN;
    CZelComPtr<IZelLong> number = element.As<IZelLong>(IID_IZelLong);
    LONG value = INT32_MIN;
    if (number)
        number->get_Value(&value);
    return value;
}

} // namespace setuptest
