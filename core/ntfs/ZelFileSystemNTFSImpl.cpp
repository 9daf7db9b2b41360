#include "ntfs/ZelFileSystemNTFSImpl.h"

#include "ntfs/NtfsUndeleteWrapper.h"

#include <boost/make_shared.hpp>

CZelFileSystemNTFSImpl::CZelFileSystemNTFSImpl(uint32_t sectorSize)
    : CZelFileSystemImplT<CZelFileSystemNTFS>(boost::make_shared<CNtfsUndeleteWrapper>(), sectorSize, L"NTFS")
{
}

boost::shared_ptr<CZelFileSystem> ZelCreateNtfsFileSystem(uint32_t sectorSize)
{
    return boost::make_shared<CZelFileSystemNTFSImpl>(sectorSize);
}
