#include "jexcommon/ZelSharedLibrary.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

std::string ZelProgramFolder()
{
    std::error_code failed;
    std::filesystem::path exe = std::filesystem::canonical("/proc/self/exe", failed);
    if (failed)
        return std::string();
    return exe.parent_path().string();
}

bool CZelSharedLibrary::Load(const std::string& folder, const std::string& fileName, std::string& error)
{
    if (folder.empty()) {
        error = "The folder of " + fileName + " is unknown: the program's own folder could not be found";
        return false;
    }
    std::string path = folder + "/" + fileName;
    dlerror();
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        error = "Cannot load " + path + ": " + (reason != nullptr ? reason : "unknown error");
        return false;
    }
    m_Handle = handle;
    m_Path = path;
    return true;
}

void* CZelSharedLibrary::Bind(const char* exportName, std::string& error) const
{
    if (m_Handle == nullptr) {
        error = std::string("Cannot bind ") + exportName + ": no library is loaded";
        return nullptr;
    }
    dlerror();
    void* address = dlsym(m_Handle, exportName);
    if (address == nullptr) {
        error = m_Path + " has no export " + exportName;
        return nullptr;
    }
    return address;
}
