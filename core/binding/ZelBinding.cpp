#include "jexfscore/ZelBinding.h"

bool CZelCoreBinding::Load(std::string& error)
{
    return LoadFrom(ZelProgramFolder(), error);
}

bool CZelCoreBinding::LoadFrom(const std::string& folder, std::string& error)
{
    if (!m_Library.Load(folder, kZelCoreLibraryName, error))
        return false;
    auto creator = reinterpret_cast<ZelCreatorExport>(m_Library.Bind("Creator", error));
    if (creator == nullptr)
        return false;
    auto fileSystemCreator = reinterpret_cast<ZelFileSystemCreatorExport>(m_Library.Bind("FileSystemCreator", error));
    if (fileSystemCreator == nullptr)
        return false;
    auto setHandler = reinterpret_cast<ZelSetMessageHandlerExport>(m_Library.Bind("JexSetMessageHandler", error));
    if (setHandler == nullptr)
        return false;
    auto grant = reinterpret_cast<ZelGrantDeviceExport>(m_Library.Bind("JexGrantDevice", error));
    if (grant == nullptr)
        return false;
    auto useMap = reinterpret_cast<ZelUseRescueMapExport>(m_Library.Bind("JexUseRescueMap", error));
    if (useMap == nullptr)
        return false;
    m_pUseRescueMap = useMap;
    m_pCreator = creator();
    m_pGrantDevice = grant;
    m_pFileSystemCreator = fileSystemCreator();
    m_pSetMessageHandler = setHandler;
    return true;
}

void CZelCoreBinding::SetMessageHandler(ZelMessageHandler handler) const
{
    if (m_pSetMessageHandler != nullptr)
        m_pSetMessageHandler(handler);
}

void CZelCoreBinding::GrantDevice(const std::string& path, int fd) const
{
    if (m_pGrantDevice != nullptr)
        m_pGrantDevice(path.c_str(), fd);
}

bool CZelCoreBinding::UseRescueMap(const std::string& image, const std::string& map, std::string& error) const
{
    if (m_pUseRescueMap == nullptr) {
        error = "the core is not loaded";
        return false;
    }
    char why[1024] = {};
    if (m_pUseRescueMap(image.c_str(), map.c_str(), why, sizeof why) != 0)
        return true;
    error = why;
    return false;
}
