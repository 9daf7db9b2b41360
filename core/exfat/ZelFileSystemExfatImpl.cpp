#include "exfat/ZelFileSystemExfatImpl.h"

#include "ZelFileSystemImpl.h"
#include "exfat/ExfatEngine.h"

#include <boost/make_shared.hpp>

boost::shared_ptr<CZelFileSystem> ZelCreateExfatFileSystem(uint32_t sectorSize)
{
    return boost::make_shared<CZelFileSystemImplT<CZelFileSystem>>(boost::make_shared<CExfatEngine>(), sectorSize,
                                                                   L"exFAT");
}
