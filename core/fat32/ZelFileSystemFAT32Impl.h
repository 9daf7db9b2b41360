// The FAT file-system object and its factories for the engine table: one
// engine reads FAT12, FAT16 and FAT32 alike, named as the probe names the
// volume.
#pragma once

#include "ZelFileSystemImpl.h"

class CZelFileSystemFAT32Impl : public CZelFileSystemImplT<CZelFileSystemFAT32> {
public:
    explicit CZelFileSystemFAT32Impl(uint32_t sectorSize, const wchar_t* name = L"FAT32");
};

// Named "FAT": a volume whose FAT variant is not known yet (its boot
// sector is gone, and a deep search rebuilds its layout).
boost::shared_ptr<CZelFileSystem> ZelCreateFatFileSystem(uint32_t sectorSize);
boost::shared_ptr<CZelFileSystem> ZelCreateFat12FileSystem(uint32_t sectorSize);
boost::shared_ptr<CZelFileSystem> ZelCreateFat16FileSystem(uint32_t sectorSize);
boost::shared_ptr<CZelFileSystem> ZelCreateFat32FileSystem(uint32_t sectorSize);
