#include "support/VarsLibrary.h"

namespace varstest {

const Library& Vars()
{
    static Library library = [] {
        Library l;
        static CZelSharedLibrary loaded;
        std::string error;
        if (!loaded.Load(JEX_BIN_DIR, "libJexVars.so", error)) {
            ADD_FAILURE() << error;
            return l;
        }
        l.getClassObject = reinterpret_cast<ZelDllGetClassObject>(loaded.Bind("DllGetClassObject", error));
        l.canUnloadNow = reinterpret_cast<ZelDllCanUnloadNow>(loaded.Bind("DllCanUnloadNow", error));
        l.registerServer = reinterpret_cast<ZelDllRegisterServer>(loaded.Bind("DllRegisterServer", error));
        l.unregisterServer = reinterpret_cast<ZelDllRegisterServer>(loaded.Bind("DllUnregisterServer", error));
        return l;
    }();
    return library;
}

IZelVarBuilder* NewBuilder()
{
    return New<IZelVarBuilder>(CLSID_CZelVarBuilder, IID_IZelVarBuilder);
}

std::vector<uint8_t> Magic()
{
    std::vector<uint8_t> bytes;
    for (char c : std::string("JexVarLang 1.0")) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(0);
    }
    return bytes;
}

void PutTag(std::vector<uint8_t>& bytes, const char* tag)
{
    bytes.insert(bytes.end(), {static_cast<uint8_t>(tag[0]), 0, static_cast<uint8_t>(tag[1]), 0});
}

void Put32(std::vector<uint8_t>& bytes, int32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i)));
}

void PutText(std::vector<uint8_t>& bytes, const std::u16string& text)
{
    Put32(bytes, static_cast<int32_t>(2 * text.size()));
    for (char16_t c : text) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
    }
}

} // namespace varstest
