#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace jexfuzz {

namespace {

// Its name outlives every static object: the folder is removed after they
// are gone. In memory where the system has a tmpfs there: the stores'
// writes end with fsync, which costs a disk a flush every run.
char g_Folder[] = "/dev/shm/jexfuzz.XXXXXX";
char g_DiskFolder[] = "/tmp/jexfuzz.XXXXXX";

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
        static char* made = ::mkdtemp(g_Folder);
        if (made == nullptr)
            made = ::mkdtemp(g_DiskFolder);
        Require(made != nullptr, "no temporary folder");
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(made, ignored);
        });
        return std::string(made);
    }();
    return folder;
}

} // namespace jexfuzz
