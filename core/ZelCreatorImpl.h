// The root factory and the file-system factory. Both are stateless; the
// library holds one static instance of each for its exports.
#pragma once

#include "jexfscore/ZelCreator.h"

class CZelCreatorImpl : public CZelCreator {
public:
    boost::shared_ptr<CZelVolumeEnum> CreateVolumeEnum() override;
    boost::shared_ptr<CZelFileSystemCreator> CreateFileSystemCreator() override;
    boost::shared_ptr<CZelCheckFileCreator> CreateCheckFileCreator() override;
};

class CZelFileSystemCreatorImpl : public CZelFileSystemCreator {
public:
    boost::shared_ptr<CZelFileSystemFAT32> CreateFAT32() override;
    boost::shared_ptr<CZelFileSystemNTFS> CreateNTFS() override;
    boost::shared_ptr<CZelFileSystem> CreateFileSystem(const wchar_t* volume) override;
};
