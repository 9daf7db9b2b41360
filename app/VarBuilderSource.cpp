#include "VarBuilderSource.h"

#include "jexcommon/ZelSharedLibrary.h"
#include "jexvars/ZelVarsClient.h"

#include <mutex>

namespace {

std::mutex g_Lock;
std::string g_Folder;

} // namespace

bool ZelSetVarsFolder(const std::string& folder, std::string& error)
{
    CZelSharedLibrary library;
    if (!library.Load(folder, "libJexVars.so", error))
        return false;
    std::lock_guard<std::mutex> lock(g_Lock);
    g_Folder = folder;
    return true;
}

CZelComPtr<IZelVarBuilder> ZelCreateVarBuilder()
{
    std::string folder;
    {
        std::lock_guard<std::mutex> lock(g_Lock);
        folder = g_Folder;
    }
    CZelComPtr<IZelVarBuilder> builder;
    std::string error;
    if (folder.empty() || !ZelLoadVarBuilder(folder, builder, error))
        builder.Reset();
    return builder;
}
