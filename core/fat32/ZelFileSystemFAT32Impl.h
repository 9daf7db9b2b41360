// The FAT32 file-system object and its factory for the engine table.
#pragma once

#include "ZelFileSystemImpl.h"

class CZelFileSystemFAT32Impl : public CZelFileSystemImplT<CZelFileSystemFAT32> {
public:
    explicit CZelFileSystemFAT32Impl(uint32_t sectorSize);
};

boost::shared_ptr<CZelFileSystem> ZelCreateFat32FileSystem(uint32_t sectorSize);
