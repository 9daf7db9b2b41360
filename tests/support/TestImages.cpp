#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

namespace jextest {

TempDir::TempDir()
{
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/jextest.XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        ADD_FAILURE() << "cannot make a temporary folder from " << pattern;
        return;
    }
    m_Path = buffer.data();
}

TempDir::~TempDir()
{
    if (m_Path.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(m_Path, ignored);
}

std::string Quote(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

int Run(const std::string& command)
{
    int status = std::system((command + " >/dev/null 2>&1").c_str());
    if (status == -1 || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

std::string MakeFatImage(const TempDir& dir, const std::string& name, int fatBits, uint32_t sizeKiB,
                         uint32_t sectorSize, uint32_t sectorsPerCluster)
{
    std::string path = dir.File(name);
    std::string command = "mkfs.fat -F " + std::to_string(fatBits) + " -S " + std::to_string(sectorSize);
    if (sectorsPerCluster != 0)
        command += " -s " + std::to_string(sectorsPerCluster);
    command += " -C " + Quote(path) + " " + std::to_string(sizeKiB);
    if (Run(command) != 0)
        ADD_FAILURE() << "mkfs.fat failed: " << command;
    return path;
}

std::string MakeExt4Image(const TempDir& dir, const std::string& name, uint32_t sizeKiB)
{
    std::string path = dir.File(name);
    std::string command = "truncate -s " + std::to_string(sizeKiB) + "K " + Quote(path) + " && mkfs.ext4 -q -F " + Quote(path);
    if (Run(command) != 0)
        ADD_FAILURE() << "mkfs.ext4 failed: " << command;
    return path;
}

std::string MakeNtfsImage(const TempDir& dir, const std::string& name, uint32_t sizeMiB, uint32_t clusterSize)
{
    std::string path = dir.File(name);
    std::string command = "truncate -s " + std::to_string(sizeMiB) + "M " + Quote(path) + " && mkntfs -F -Q ";
    if (clusterSize != 0)
        command += "-c " + std::to_string(clusterSize) + " ";
    command += Quote(path);
    if (Run(command) != 0)
        ADD_FAILURE() << "mkntfs failed: " << command;
    return path;
}

std::vector<uint8_t> Content(size_t size, uint32_t seed)
{
    std::vector<uint8_t> data(size);
    uint32_t x = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        data[i] = static_cast<uint8_t>(x >> 16);
    }
    return data;
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        ADD_FAILURE() << "cannot write " << path;
}

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::string& path)
{
    std::vector<uint8_t> bytes = ReadFile(path);
    return std::string(bytes.begin(), bytes.end());
}

bool LoopDevice::Attach(const std::string& image, std::string& reason)
{
    if (geteuid() != 0) {
        reason = "loop devices need root";
        return false;
    }
    std::string command = "losetup --find --show --read-only " + Quote(image) + " 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        reason = "cannot run losetup";
        return false;
    }
    char line[256] = {0};
    bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    int status = pclose(pipe);
    if (!got || status != 0) {
        reason = "losetup could not attach a loop device here";
        return false;
    }
    m_Node = line;
    while (!m_Node.empty() && (m_Node.back() == '\n' || m_Node.back() == ' '))
        m_Node.pop_back();
    return true;
}

LoopDevice::~LoopDevice()
{
    if (!m_Node.empty())
        Run("losetup -d " + Quote(m_Node));
}

} // namespace jextest
