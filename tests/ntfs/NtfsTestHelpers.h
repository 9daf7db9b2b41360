// Helpers of the NTFS tests: image making, a scan through the exports,
// restores.
#pragma once

#include "jexcommon/ZelText.h"
#include "support/CoreBinding.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace ntfstest {

inline std::vector<uint8_t> Content(size_t size, uint32_t seed)
{
    std::vector<uint8_t> data(size);
    uint32_t x = seed * 2654435761u + 7;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        data[i] = static_cast<uint8_t>(x >> 16);
    }
    return data;
}

inline std::string MakeImage(const jextest::TempDir& dir, uint32_t clusterSize, uint32_t sizeMiB)
{
    std::string path = dir.File("disk.img");
    std::string command = "truncate -s " + std::to_string(sizeMiB) + "M " + jextest::Quote(path) +
                          " && mkntfs -F -Q -c " + std::to_string(clusterSize) + " " + jextest::Quote(path);
    EXPECT_EQ(jextest::Run(command), 0) << command;
    return path;
}

// A scan through the exports: wide path of each found entry to it.
class Scan {
public:
    Scan(const std::string& image, boost::shared_ptr<CZelCheckFile> filter = {})
    {
        volume = ZelNarrowToWide(image);
        fs = BoundCore().GetFileSystemCreator()->CreateFileSystem(volume.c_str());
        EXPECT_TRUE(fs);
        if (!fs)
            return;
        EXPECT_EQ(fs->GetName(), L"NTFS");
        EXPECT_EQ(fs->Open(volume.c_str(), 0), ZEL_S_OK);
        EXPECT_EQ(fs->FindDeleted(volume.c_str(), 1, filter), ZEL_S_OK);
        EXPECT_EQ(fs->GetProgress(), 1.0);
        auto it = fs->GetIterator();
        for (it->First(); !it->IsDone(); it->Next()) {
            auto entry = it->CurrentItem();
            if (entry)
                found[ZelWideToNarrow(entry->GetPath())] = entry;
        }
    }
    boost::shared_ptr<CZelFSFile> File(const std::string& path)
    {
        auto it = found.find(path);
        EXPECT_NE(it, found.end()) << path;
        return it == found.end() ? nullptr : boost::dynamic_pointer_cast<CZelFSFile>(it->second);
    }
    size_t Files() const
    {
        size_t n = 0;
        for (const auto& f : found)
            n += f.second->GetType() == ZelEntryFile;
        return n;
    }

    std::wstring volume;
    boost::shared_ptr<CZelFileSystem> fs;
    std::map<std::string, boost::shared_ptr<CZelFSFileEntry>> found;
};

inline std::vector<uint8_t> Restore(const boost::shared_ptr<CZelFSFile>& file, const std::string& destination,
                             ZELRESULT expected = ZEL_S_OK)
{
    if (!file)
        return {};
    EXPECT_EQ(file->RestoreA(destination.c_str(), ZelDefaultProgressCallback), expected) << destination;
    return jextest::ReadFile(destination);
}

} // namespace ntfstest
