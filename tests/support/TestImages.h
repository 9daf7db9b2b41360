// Test helpers: temporary folders, running the image tools, loop devices.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace jextest {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_Path; }
    std::string File(const std::string& name) const { return m_Path + "/" + name; }

private:
    std::string m_Path;
};

// Runs a shell command; its output goes to the test log. Returns the exit
// status (-1 when it could not run).
int Run(const std::string& command);
// Single-quotes a word for the shell.
std::string Quote(const std::string& word);

// Makes images with the real tools; each returns the image path and fails
// the current test (ADD_FAILURE) when the tool does.
std::string MakeFatImage(const TempDir& dir, const std::string& name, int fatBits, uint32_t sizeKiB,
                         uint32_t sectorSize = 512, uint32_t sectorsPerCluster = 0);
// An ext4 file system: a volume no engine searches.
std::string MakeExt4Image(const TempDir& dir, const std::string& name, uint32_t sizeKiB);
// clusterSize 0: mkntfs chooses.
std::string MakeNtfsImage(const TempDir& dir, const std::string& name, uint32_t sizeMiB, uint32_t clusterSize = 0);

// size bytes that depend on seed: files to write and to compare with what
// comes back.
std::vector<uint8_t> Content(size_t size, uint32_t seed);

// Writes bytes to a new file.
void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFile(const std::string& path);
// A file's content as text; empty when it cannot be read.
std::string ReadText(const std::string& path);

// A read-only loop device over an image; only where the test runs as root
// and losetup works.
class LoopDevice {
public:
    // Returns false with the reason when loop devices cannot be used here.
    bool Attach(const std::string& image, std::string& reason);
    ~LoopDevice();
    const std::string& Node() const { return m_Node; }

private:
    std::string m_Node;
};

} // namespace jextest
