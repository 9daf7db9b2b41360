#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace jexfuzz {

namespace {

// Its name outlives every static object: the folder is removed after they
// are gone.
char g_Folder[] = "/tmp/jexfuzz.XXXXXX";

} // namespace

void Require(bool holds, const std::string& what)
{
    if (holds)
        return;
    std::fprintf(stderr, "jexfuzz: %s\n", what.c_str());
    std::abort();
}

const std::string& TemporaryFolder()
{
    static const std::string folder = [] {
        Require(::mkdtemp(g_Folder) != nullptr, "no temporary folder");
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(g_Folder, ignored);
        });
        return std::string(g_Folder);
    }();
    return folder;
}

} // namespace jexfuzz
