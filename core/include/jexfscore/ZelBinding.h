// Binding libJexFSCore.so: loaded from the program's own folder, its
// exports bound by name.
#pragma once

#include "jexcommon/ZelSharedLibrary.h"
#include "jexfscore/ZelCreator.h"

#include <string>

// libJexFSCore.so with its exports bound.
class CZelCoreBinding {
public:
    // Loads the core from the program's folder.
    bool Load(std::string& error);
    // Loads the core from folder.
    bool LoadFrom(const std::string& folder, std::string& error);

    CZelCreator* GetCreator() const { return m_pCreator; }
    CZelFileSystemCreator* GetFileSystemCreator() const { return m_pFileSystemCreator; }
    // Installs a handler for the core's messages (null: standard error).
    void SetMessageHandler(ZelMessageHandler handler) const;
    // Lets the core read the device at path through fd, which the caller
    // keeps.
    void GrantDevice(const std::string& path, int fd) const;
    // Has the core read the image file image as the GNU ddrescue map file
    // map describes it; false with the reason (a line of the map it
    // refuses, or a map of another copy).
    bool UseRescueMap(const std::string& image, const std::string& map, std::string& error) const;
    const std::string& LibraryPath() const { return m_Library.Path(); }

private:
    CZelSharedLibrary m_Library;
    CZelCreator* m_pCreator = nullptr;
    CZelFileSystemCreator* m_pFileSystemCreator = nullptr;
    ZelSetMessageHandlerExport m_pSetMessageHandler = nullptr;
    ZelGrantDeviceExport m_pGrantDevice = nullptr;
    ZelUseRescueMapExport m_pUseRescueMap = nullptr;
};

// File name of the core library.
constexpr const char* kZelCoreLibraryName = "libJexFSCore.so";
