// The root factory and the two exports of libJexFSCore.so.
#pragma once

#include "jexfscore/ZelCheckFile.h"
#include "jexfscore/ZelFileSystem.h"
#include "jexfscore/ZelVolume.h"

#include <boost/shared_ptr.hpp>

#include <cstddef>

class CZelCreator {
public:
    virtual boost::shared_ptr<CZelVolumeEnum> CreateVolumeEnum() = 0;
    virtual boost::shared_ptr<CZelFileSystemCreator> CreateFileSystemCreator() = 0;
    virtual boost::shared_ptr<CZelCheckFileCreator> CreateCheckFileCreator() = 0;
    virtual ~CZelCreator() = default;
};

// Exports, bound by name after the library is loaded. Each returns the
// address of a static, stateless factory that lives as long as the library.
typedef CZelCreator* (*ZelCreatorExport)();
typedef CZelFileSystemCreator* (*ZelFileSystemCreatorExport)();
// Installs the handler of the core's messages (caption "Trouble" when a
// volume cannot be opened); a null handler restores the default, one line on
// standard error.
typedef void (*ZelMessageHandler)(const wchar_t* text, const wchar_t* caption);
typedef void (*ZelSetMessageHandlerExport)(ZelMessageHandler handler);
// Hands the core the open descriptor of a device (the core keeps a
// duplicate): opening that device path then uses it.
typedef void (*ZelGrantDeviceExport)(const char* path, int fd);
// Reads the GNU ddrescue map file map and has the core read the image file
// image (and the partitions inside it) as the map says: what was not read
// fails as unreadable sectors do. 1, or 0 with the reason in error.
typedef int (*ZelUseRescueMapExport)(const char* image, const char* map, char* error, size_t errorSize);
