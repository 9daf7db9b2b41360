// Reads a .vrl file through libJexVars.so as programs do and prints how
// long it took and how many elements its tree holds; bench/vrl.sh runs it
// under /usr/bin/time for the peak memory.
//
// Usage: jexbench_vrl BIN FILE [LIMIT]
//   BIN    the folder holding libJexVars.so
//   LIMIT  the element limit to read with, when not the default
#include "jexvars/ZelVarsClient.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

long long CountElements(IZelArray& array, int depth)
{
    LONG count = 0;
    array.get_Count(&count);
    long long total = count;
    if (depth > 64)
        return total;
    for (LONG i = 0; i < count; ++i) {
        CZelComPtr<IZelArray> inner = ZelArrayAt(array, i);
        if (inner)
            total += CountElements(*inner.Get(), depth + 1);
    }
    return total;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s BIN FILE [LIMIT]\n", argv[0]);
        return 2;
    }
    CZelComPtr<IZelVarBuilder> builder;
    std::string error;
    if (!ZelLoadVarBuilder(argv[1], builder, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    if (argc == 4 && builder->put_MaxElements(static_cast<LONG>(std::strtol(argv[3], nullptr, 10))) != S_OK) {
        std::fprintf(stderr, "%s: not a limit\n", argv[3]);
        return 2;
    }
    auto start = std::chrono::steady_clock::now();
    CZelComPtr<IZelArray> root = ZelReadVrlFile(*builder.Get(), argv[2]);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!root) {
        std::fprintf(stderr, "%s: not read\n", argv[2]);
        return 1;
    }
    std::printf("elements %lld seconds %.3f\n", CountElements(*root.Get(), 0), seconds);
    return 0;
}
