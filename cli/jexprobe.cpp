// jexprobe: shows what the recovery core makes of a volume. It loads
// libJexFSCore.so from its own folder, binds the exports, lets the core
// choose a file-system object for the volume and runs a scan, listing what
// the scan found.
//
// Usage: jexprobe VOLUME     scan a volume
//        jexprobe --volumes  list the machine's volumes
// Exit status: 0 done, 2 bad usage, core not loadable or volume not
// supported.

#include "jexfscore/ZelBinding.h"
#include "jexcommon/ZelText.h"

#include <cstdio>
#include <string>

namespace {

void PrintEntry(CZelFSFileEntry& entry)
{
    if (entry.GetType() == ZelEntryFile) {
        CZelFSFile& file = static_cast<CZelFSFile&>(entry);
        std::printf("  file      %12llu  %s%s\n", static_cast<unsigned long long>(file.GetSize()),
                    ZelWideToNarrow(entry.GetPath()).c_str(), entry.IsDeleted() ? "  (deleted)" : "");
    } else {
        std::printf("  directory %12s  %s%s\n", "", ZelWideToNarrow(entry.GetPath()).c_str(),
                    entry.IsDeleted() ? "  (deleted)" : "");
    }
}

int ListVolumes(CZelCreator& creator)
{
    boost::shared_ptr<CZelVolumeEnum> volumes = creator.CreateVolumeEnum();
    if (!volumes)
        return 2;
    std::printf("Volumes:\n");
    boost::shared_ptr<CZelVolumeInfoIterator> it = volumes->GetVolumeInfoIterator();
    for (it->First(); !it->IsDone(); it->Next()) {
        boost::shared_ptr<CZelVolumeInfo> volume = it->CurrentItem();
        std::string name = ZelWideToNarrow(volume->GetFileSystemName());
        std::printf("  %-24s %-8s %15llu bytes\n", ZelWideToNarrow(volume->GetRootPath()).c_str(),
                    name.empty() ? "-" : name.c_str(), static_cast<unsigned long long>(volume->GetSize()));
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || std::string(argv[1]) == "--help") {
        std::fprintf(stderr,
                     "Usage: %s VOLUME | --volumes\n  VOLUME: a device node, an image file or a mount point\n",
                     argv[0]);
        return 2;
    }
    CZelCoreBinding core;
    std::string error;
    if (!core.Load(error)) {
        std::fprintf(stderr, "jexprobe: %s\n", error.c_str());
        return 2;
    }
    std::printf("Core library: %s\n", core.LibraryPath().c_str());
    std::printf("Exports bound: Creator, FileSystemCreator, JexSetMessageHandler\n");
    if (std::string(argv[1]) == "--volumes")
        return ListVolumes(*core.GetCreator());

    std::wstring volume = ZelNarrowToWide(argv[1]);
    boost::shared_ptr<CZelFileSystem> fs = core.GetFileSystemCreator()->CreateFileSystem(volume.c_str());
    if (!fs) {
        std::printf("Volume %s: no file-system object (not FAT32 or NTFS, or not readable)\n", argv[1]);
        return 2;
    }
    std::printf("Volume %s: file-system object %s\n", argv[1], ZelWideToNarrow(fs->GetName()).c_str());

    CZelScanReport report;
    if (fs->Open(volume.c_str(), 0) != ZEL_S_OK || fs->FindDeletedEx(volume.c_str(), 1, nullptr, report) != ZEL_S_OK) {
        std::printf("The scan could not run: %s\n", ZelWideToNarrow(report.reason).c_str());
        return 2;
    }
    size_t files = 0, directories = 0;
    boost::shared_ptr<CZelEntityIterator> it = fs->GetIterator();
    for (it->First(); !it->IsDone(); it->Next()) {
        boost::shared_ptr<CZelFSFileEntry> entry = it->CurrentItem();
        if (!entry)
            continue;
        (entry->GetType() == ZelEntryFile ? files : directories)++;
        PrintEntry(*entry);
    }
    std::printf("Scan finished: %zu deleted files, %zu directories, %llu stretches that could not be read\n", files,
                directories, static_cast<unsigned long long>(report.unreadableStretches));
    return 0;
}
