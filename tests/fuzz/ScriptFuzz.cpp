// libFuzzer target: the input as a ZELMAIN command text (UTF-16), parsed
// and run against a variable builder. Every file command is pointed at one
// file in a temporary folder, so that the fuzzer can touch nothing else.
#include "BuilderSupport.h"
#include "ZelSetupScript.h"
#include "jexvars/ZelComPtr.h"
#include "jexvars/ZelVars.h"

#include <string>

namespace {

const std::u16string& SandboxFile()
{
    static const std::u16string file = [] {
        std::string path = jexfuzz::TemporaryFolder() + "/script.vrl";
        return std::u16string(path.begin(), path.end());
    }();
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2)
        text.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    CZelScript script;
    script.Parse(text.c_str());
    for (const auto& call : script.Calls())
        if (call->m_Name.rfind(u"VarFile", 0) == 0)
            for (auto& param : call->m_Params)
                if (param->Type() == ZelCommandString)
                    static_cast<CZelParamString*>(param.get())->m_Value = SandboxFile();

    IZelVarBuilder* builder = jexfuzz::NewBuilder();
    script.Run(builder);
    builder->Release();
    return 0;
}
