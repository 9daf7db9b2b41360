// A deleted file with a long name and an 8.3 alias.
#include "jexcommon/ZelText.h"
#include "support/ExportCore.h"
#include "support/TestImages.h"
#include "support/NtfsImageWriter.h"

using jextest::NtfsImageWriter;
using jextest::BoundCore;
using jextest::Content;
using jextest::Restore;

// Giving a test file an 8.3 alias goes through a libntfs-3g call that leaks
// an inode inside the library, so the leak checker passes over what the
// library allocates in this program. The engine's own use of the library is
// checked for leaks by the other NTFS tests, which run without this.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:ntfs_calloc\nleak:ntfs_malloc\n";
}

TEST(NtfsRecoveryNames, LongAndDosNamesAndFilters)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 16, 4096);
    {
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.File("/Urlaubsbilder Sommer.jpeg", Content(20000, 50));
        disk.DosName("/Urlaubsbilder Sommer.jpeg", "URLAUB~1.JPE");
        disk.File("/Notiz.txt", Content(300, 51));
        disk.File("/Lied.mp3", Content(40000, 52));
        disk.Delete("/Urlaubsbilder Sommer.jpeg");
        disk.Delete("/Notiz.txt");
        disk.Delete("/Lied.mp3");
    }
    auto creator = BoundCore().GetCreator()->CreateCheckFileCreator();
    auto images = creator->CreateCheckFile(ZelCheckFileExtensions);
    images->SetParam(L"Add", L"jpg");
    images->SetParam(L"Add", L"JPEG");
    auto size = creator->CreateCheckFile(ZelCheckFileSizeRange);
    size->SetParam(L"Min", uint64_t(1000));
    auto group = creator->CreateCheckFile(ZelCheckFileAnd);
    group->SetParam(L"Add", images);
    group->SetParam(L"Add", size);

    jextest::ExportScan scan(image, group);
    ASSERT_EQ(scan.found.size(), 1u);
    // The long name, not its 8.3 alias, names the file.
    auto file = scan.File("disk.img/Urlaubsbilder Sommer.jpeg");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->GetName(), L"Urlaubsbilder Sommer.jpeg");
    EXPECT_EQ(Restore(file, dir.File("bild")), Content(20000, 50));
}

