#include "VarBuilderSource.h"

#include "jexvars/ZelVarsClient.h"

#include <mutex>

namespace {

std::mutex g_Lock;
std::string g_Folder;

} // namespace

bool ZelSetVarsFolder(const std::string& folder, std::string& error)
{
    // The library stays loaded; a builder made here proves its class
    // factory works.
    CZelComPtr<IZelVarBuilder> builder;
    if (!ZelLoadVarBuilder(folder, builder, error))
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
