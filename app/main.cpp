// JexFileRecovery: finds deleted files on FAT32, NTFS and exFAT volumes and copies
// them out, in a window.
#include "JexFileRecoveryApp.h"
#include "jexcommon/ZelVersion.h"

#include <cstdio>
#include <cstring>

namespace {

const char* const kUsage =
    "Usage: JexFileRecovery [IMAGE...]\n"
    "       JexFileRecovery --help | --version\n"
    "\n"
    "Finds deleted files on FAT, exFAT and NTFS volumes and copies them out, in a\n"
    "window. Each IMAGE (a disk image file) is listed after the machine's volumes; a\n"
    "whole-disk image shows its partitions.\n"
    "\n"
    "  --help, -h   this text\n"
    "  --version    the version\n"
    "\n"
    "The options every Qt program takes (-platform NAME, -style NAME) work too.\n";

} // namespace

int main(int argc, char** argv)
{
    // Answered before any window: they need no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("%s", kUsage);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("JexFileRecovery %s\n", ZEL_VERSION_TEXT);
            return 0;
        }
        if (std::strncmp(argv[i], "--", 2) == 0) {
            std::fprintf(stderr, "JexFileRecovery: unknown option %s\n\n%s", argv[i], kUsage);
            return 2;
        }
    }
    CJexFileRecoveryApp app(argc, argv);
    return app.Run();
}
