// JexFileRecovery: finds deleted files on FAT32, NTFS and exFAT volumes and copies
// them out, in a window.
#include "JexFileRecoveryApp.h"

int main(int argc, char** argv)
{
    CJexFileRecoveryApp app(argc, argv);
    return app.Run();
}
