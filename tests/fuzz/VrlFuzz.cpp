// libFuzzer target: the input as a .vrl file. What the builder reads, it
// writes; that file read again and written again must be the same bytes:
// nothing read is lost or changed on its way through.
#include "jexvars/ZelComPtr.h"
#include "jexvars/ZelVars.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** object);

namespace {

// Each file below one temporary folder, gone again when the fuzzer ends.
char g_Folder[] = "/tmp/jexfuzz-vrl.XXXXXX";

std::string File(const char* name)
{
    static const bool made = [] {
        if (::mkdtemp(g_Folder) == nullptr)
            std::abort();
        std::atexit([] {
            for (const char* n : {"in.vrl", "once.vrl", "twice.vrl"})
                ::unlink((std::string(g_Folder) + "/" + n).c_str());
            ::rmdir(g_Folder);
        });
        return true;
    }();
    (void)made;
    return std::string(g_Folder) + "/" + name;
}

IZelVarBuilder* NewBuilder()
{
    IClassFactory* factory = nullptr;
    if (DllGetClassObject(CLSID_CZelVarBuilder, IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK)
        std::abort();
    IZelVarBuilder* builder = nullptr;
    factory->CreateInstance(nullptr, IID_IZelVarBuilder, reinterpret_cast<void**>(&builder));
    factory->Release();
    if (builder == nullptr)
        std::abort();
    return builder;
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
    IZelVarBuilder* first = NewBuilder();
    if (Read(first, File("in.vrl"))) {
        if (!Write(first, File("once.vrl"))) {
            std::fprintf(stderr, "jexfuzz: what was read cannot be written\n");
            std::abort();
        }
        IZelVarBuilder* second = NewBuilder();
        if (!Read(second, File("once.vrl")) || !Write(second, File("twice.vrl")) ||
            Bytes(File("once.vrl")) != Bytes(File("twice.vrl"))) {
            std::fprintf(stderr, "jexfuzz: a file written from what was read reads back otherwise\n");
            std::abort();
        }
        second->Release();
    }
    first->Release();
    return 0;
}
