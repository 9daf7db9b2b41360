// Restored files appear under their name only when written whole, never
// over an existing file, and leave nothing behind when they fail.
#include "jexplatform/OutputFile.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A tmpfs of one MiB mounted on a folder: a destination that fills up.
class SmallDisk {
public:
    bool Mount(const std::string& folder, std::string& reason)
    {
        if (geteuid() != 0) {
            reason = "mounting a small tmpfs needs root";
            return false;
        }
        if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=1m") != 0) {
            reason = std::string("a tmpfs cannot be mounted here: ") + std::strerror(errno);
            return false;
        }
        m_Folder = folder;
        return true;
    }
    ~SmallDisk()
    {
        if (!m_Folder.empty())
            ::umount(m_Folder.c_str());
    }

private:
    std::string m_Folder;
};

} // namespace

TEST(OutputFile, TheNameAppearsOnlyWhenTheFileIsWhole)
{
    // With an unnamed file first, and with a hidden temporary name as on a
    // file system that has no unnamed files.
    for (bool unnamed : {true, false}) {
        jextest::TempDir dir;
        std::string target = dir.File("Brief an Oma.txt");
        {
            CZelOutputFile out(unnamed);
            ASSERT_TRUE(out.Create(target, 0640)) << out.Error();
            ASSERT_TRUE(out.Write("Liebe Oma", 9));
            // Before the commit the name is not there, at most a hidden one.
            EXPECT_FALSE(std::filesystem::exists(target));
            for (const std::string& name : Names(dir.Path()))
                EXPECT_EQ(name.rfind(".jexrecover-", 0), 0u) << name;
            ASSERT_TRUE(out.Skip(100));
            timespec when{1700000000, 5};
            out.SetTimes(when);
            ASSERT_TRUE(out.Commit()) << out.Error();
        }
        EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"Brief an Oma.txt"}) << unnamed;
        EXPECT_EQ(std::filesystem::file_size(target), 109u);
        EXPECT_EQ(jextest::ReadText(target).substr(0, 9), "Liebe Oma");
        struct stat info;
        ASSERT_EQ(::stat(target.c_str(), &info), 0);
        EXPECT_EQ(info.st_mtim.tv_sec, 1700000000);
        EXPECT_EQ(info.st_mode & 0777, 0640u & ~[] { mode_t m = ::umask(0); ::umask(m); return m; }());

        // A file that is not committed leaves nothing.
        {
            CZelOutputFile out(unnamed);
            ASSERT_TRUE(out.Create(dir.File("abandoned"), 0600));
            ASSERT_TRUE(out.Write("x", 1));
        }
        EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"Brief an Oma.txt"}) << unnamed;
    }
}

TEST(OutputFile, AnExistingFileIsNeverReplaced)
{
    for (bool unnamed : {true, false}) {
        jextest::TempDir dir;
        jextest::WriteFile(dir.File("taken"), {1, 2, 3});
        CZelOutputFile out(unnamed);
        EXPECT_FALSE(out.Create(dir.File("taken"), 0600));
        EXPECT_EQ(out.Error(), dir.File("taken") + ": File exists");

        // A file that takes the name while the copy runs stays as it is.
        ASSERT_TRUE(out.Create(dir.File("late"), 0600));
        ASSERT_TRUE(out.Write("mine", 4));
        jextest::WriteFile(dir.File("late"), {9});
        EXPECT_FALSE(out.Commit());
        EXPECT_EQ(out.Error(), dir.File("late") + ": File exists");
        EXPECT_EQ(jextest::ReadFile(dir.File("late")), std::vector<uint8_t>{9});
        EXPECT_EQ(Names(dir.Path()), (std::vector<std::string>{"late", "taken"})) << unnamed;

        // With another name to take, the file gets the first one free.
        ASSERT_TRUE(out.Create(dir.File("late"), 0600, true));
        ASSERT_TRUE(out.Write("mine", 4));
        jextest::WriteFile(dir.File("late 1"), {8});
        ASSERT_TRUE(out.Finish());
        EXPECT_TRUE(out.Publish([&dir](unsigned n) { return dir.File("late " + std::to_string(n)); }));
        EXPECT_EQ(out.Destination(), dir.File("late 2"));
        EXPECT_EQ(jextest::ReadText(dir.File("late 2")), "mine");
        EXPECT_EQ(jextest::ReadFile(dir.File("late")), std::vector<uint8_t>{9});

        EXPECT_FALSE(out.Create(dir.File("no/such/folder/x"), 0600));
        EXPECT_EQ(out.Error(), dir.File("no/such/folder/x") + ": No such file or directory");
    }
}

TEST(OutputFile, AFullDiskLeavesNothingBehind)
{
    jextest::TempDir dir;
    std::string folder = dir.File("small");
    std::filesystem::create_directory(folder);
    SmallDisk disk;
    std::string reason;
    if (!disk.Mount(folder, reason))
        GTEST_SKIP() << "skipped: " << reason;
    CZelOutputFile out;
    ASSERT_TRUE(out.Create(folder + "/big.bin", 0600));
    const std::vector<uint8_t> chunk(256 << 10, 0x5A);
    bool written = true;
    for (int i = 0; i < 12 && written; ++i)
        written = out.Write(chunk.data(), chunk.size());
    EXPECT_FALSE(written);
    EXPECT_EQ(out.Error(), folder + "/big.bin: No space left on device");
    out.Discard();
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}
