// The engines of the core, one row each: the file-system name a volume's
// probe gives, and the factory of the file-system object that searches it.
#pragma once

#include "jexfscore/ZelFileSystem.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <string>
#include <vector>

typedef boost::shared_ptr<CZelFileSystem> (*ZelFileSystemFactory)(uint32_t sectorSize);

struct CZelEngineRow {
    // As the probe names it ("FAT32", "NTFS"); also the object's GetName.
    const char* fileSystemName;
    ZelFileSystemFactory create;
};

// Every engine, in the order they are named to the user.
const std::vector<CZelEngineRow>& ZelEngines();
// The engine for a file-system name, compared without regard to the case
// of ASCII letters; null when no engine searches it.
const CZelEngineRow* ZelFindEngine(const std::string& fileSystemName);
// The names of the file systems that are searched, for messages: "FAT12,
// FAT16, FAT32, NTFS and exFAT".
std::string ZelSearchedFileSystems();
