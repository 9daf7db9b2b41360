#include "fat32/ZelFileSystemFAT32Impl.h"

#include "fat32/Fat32Wrapper.h"

#include <boost/make_shared.hpp>

CZelFileSystemFAT32Impl::CZelFileSystemFAT32Impl(uint32_t sectorSize)
    : CZelFileSystemImplT<CZelFileSystemFAT32>(boost::make_shared<CFat32Wrapper>(), sectorSize, L"FAT32")
{
}

boost::shared_ptr<CZelFileSystem> ZelCreateFat32FileSystem(uint32_t sectorSize)
{
    return boost::make_shared<CZelFileSystemFAT32Impl>(sectorSize);
}
