#include "engine/ZelEngineTable.h"

#include "exfat/ZelFileSystemExfatImpl.h"
#include "fat32/ZelFileSystemFAT32Impl.h"
#include "ntfs/ZelFileSystemNTFSImpl.h"

namespace {

std::string UpperAscii(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return text;
}

} // namespace

const std::vector<CZelEngineRow>& ZelEngines()
{
    static const std::vector<CZelEngineRow> engines = {
        {"FAT12", &ZelCreateFat12FileSystem},
        {"FAT16", &ZelCreateFat16FileSystem},
        {"FAT32", &ZelCreateFat32FileSystem},
        {"NTFS", &ZelCreateNtfsFileSystem},
        {"exFAT", &ZelCreateExfatFileSystem},
    };
    return engines;
}

const CZelEngineRow* ZelFindEngine(const std::string& fileSystemName)
{
    std::string wanted = UpperAscii(fileSystemName);
    for (const CZelEngineRow& row : ZelEngines())
        if (!wanted.empty() && UpperAscii(row.fileSystemName) == wanted)
            return &row;
    return nullptr;
}

std::string ZelSearchedFileSystems()
{
    const std::vector<CZelEngineRow>& engines = ZelEngines();
    std::string names;
    for (size_t i = 0; i < engines.size(); ++i) {
        if (i != 0)
            names += i + 1 == engines.size() ? " and " : ", ";
        names += engines[i].fileSystemName;
    }
    return names;
}
