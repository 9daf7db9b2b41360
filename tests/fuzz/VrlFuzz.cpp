// libFuzzer target: the input as a .vrl file. What the builder reads, it
// writes; that file read again and written again must be the same bytes:
// nothing read is lost or changed on its way through.
#include "BuilderSupport.h"
#include "jexvars/ZelComPtr.h"
#include "jexvars/ZelVars.h"

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::string File(const char* name)
{
    return jexfuzz::TemporaryFolder() + "/" + name;
}

bool Read(IZelVarBuilder* builder, const std::string& path)
{
    CZelBstr name(std::u16string(path.begin(), path.end()));
    VARIANT_BOOL done = VARIANT_FALSE;
    return builder->ReadFile(name.Get(), &done) == S_OK && done == VARIANT_TRUE;
}

bool Write(IZelVarBuilder* builder, const std::string& path)
{
    CZelBstr name(std::u16string(path.begin(), path.end()));
    VARIANT_BOOL done = VARIANT_FALSE;
    return builder->WriteFile(name.Get(), &done) == S_OK && done == VARIANT_TRUE;
}

std::vector<char> Bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        std::ofstream out(File("in.vrl"), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    IZelVarBuilder* first = jexfuzz::NewBuilder();
    if (Read(first, File("in.vrl"))) {
        jexfuzz::Require(Write(first, File("once.vrl")), "what was read cannot be written");
        IZelVarBuilder* second = jexfuzz::NewBuilder();
        jexfuzz::Require(Read(second, File("once.vrl")) && Write(second, File("twice.vrl")) &&
                             Bytes(File("once.vrl")) == Bytes(File("twice.vrl")),
                         "a file written from what was read reads back otherwise");
        second->Release();
    }
    first->Release();
    return 0;
}
