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
    boost::shared_ptr<CZelFileSystem> CreateFileSystemEx(const wchar_t* volume, std::wstring& reason) override;
    boost::shared_ptr<CZelFileSystem> CreateFileSystemForDeepSearch(const wchar_t* volume, std::wstring& reason) override;

private:
    // The object for the volume's file system, or empty with the reason;
    // unreadable tells a volume that cannot be read from one whose file
    // system no engine searches. With unrecognised set, a volume that holds
    // nothing that could be recognised gets the FAT engine, which rebuilds
    // a lost layout in a deep search.
    static boost::shared_ptr<CZelFileSystem> Choose(const wchar_t* volume, std::wstring& reason, bool& unreadable,
                                                    bool unrecognised = false);
};
