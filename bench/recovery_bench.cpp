// Times a scan and the restore of every file it found, through the core's
// exports, and prints the figures as "key value" lines:
//   scan_seconds, found_files, found_directories, restore_seconds,
//   restored_bytes, failed_files
//
// Usage: jexbench_recovery VOLUME DESTINATION-FOLDER

#include "jexfscore/ZelBinding.h"
#include "jexcommon/ZelText.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "Usage: %s VOLUME DESTINATION-FOLDER\n", argv[0]);
        return 2;
    }
    CZelCoreBinding core;
    std::string error;
    if (!core.Load(error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    std::wstring volume = ZelNarrowToWide(argv[1]);
    auto fs = core.GetFileSystemCreator()->CreateFileSystem(volume.c_str());
    if (!fs) {
        std::fprintf(stderr, "%s: not a FAT32 or NTFS volume\n", argv[1]);
        return 2;
    }
    typedef std::chrono::steady_clock Clock;
    auto started = Clock::now();
    fs->Open(volume.c_str(), 0);
    fs->FindDeleted(volume.c_str(), 1, {});
    std::vector<boost::shared_ptr<CZelFSFile>> files;
    size_t directories = 0;
    auto it = fs->GetIterator();
    for (it->First(); !it->IsDone(); it->Next()) {
        auto entry = it->CurrentItem();
        if (auto file = boost::dynamic_pointer_cast<CZelFSFile>(entry))
            files.push_back(file);
        else if (entry)
            ++directories;
    }
    double scanSeconds = std::chrono::duration<double>(Clock::now() - started).count();

    started = Clock::now();
    unsigned long long bytes = 0;
    size_t failed = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        std::string destination = std::string(argv[2]) + "/" + std::to_string(i);
        if (files[i]->RestoreA(destination.c_str(), ZelDefaultProgressCallback) == ZEL_S_OK)
            bytes += files[i]->GetSize();
        else
            ++failed;
    }
    double restoreSeconds = std::chrono::duration<double>(Clock::now() - started).count();
    std::printf("scan_seconds %.6f\nfound_files %zu\nfound_directories %zu\n", scanSeconds, files.size(),
                directories);
    std::printf("restore_seconds %.6f\nrestored_bytes %llu\nfailed_files %zu\n", restoreSeconds, bytes, failed);
    return 0;
}
