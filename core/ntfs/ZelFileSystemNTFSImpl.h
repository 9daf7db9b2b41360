// The NTFS file-system object and its factory for the engine table.
#pragma once

#include "ZelFileSystemImpl.h"

class CZelFileSystemNTFSImpl : public CZelFileSystemImplT<CZelFileSystemNTFS> {
public:
    explicit CZelFileSystemNTFSImpl(uint32_t sectorSize);
};

boost::shared_ptr<CZelFileSystem> ZelCreateNtfsFileSystem(uint32_t sectorSize);
