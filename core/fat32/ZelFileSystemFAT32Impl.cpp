#include "fat32/ZelFileSystemFAT32Impl.h"

#include "fat32/Fat32Wrapper.h"

#include <boost/make_shared.hpp>

CZelFileSystemFAT32Impl::CZelFileSystemFAT32Impl(uint32_t sectorSize, const wchar_t* name)
    : CZelFileSystemImplT<CZelFileSystemFAT32>(boost::make_shared<CFat32Wrapper>(), sectorSize, name)
{
}

boost::shared_ptr<CZelFileSystem> ZelCreateFatFileSystem(uint32_t sectorSize)
{
    return boost::make_shared<CZelFileSystemFAT32Impl>(sectorSize, L"FAT");
}

boost::shared_ptr<CZelFileSystem> ZelCreateFat12FileSystem(uint32_t sectorSize)
{
    return boost::make_shared<CZelFileSystemFAT32Impl>(sectorSize, L"FAT12");
}

boost::shared_ptr<CZelFileSystem> ZelCreateFat16FileSystem(uint32_t sectorSize)
{
    return boost::make_shared<CZelFileSystemFAT32Impl>(sectorSize, L"FAT16");
}

boost::shared_ptr<CZelFileSystem> ZelCreateFat32FileSystem(uint32_t sectorSize)
{
    return boost::make_shared<CZelFileSystemFAT32Impl>(sectorSize);
}
