#include "support/ExfatImage.h"

#include "support/LittleEndian.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <unistd.h>

namespace jextest {

namespace {

// The first line a command prints; empty when it fails.
std::string Output(const std::string& command)
{
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return std::string();
    char line[512] = {0};
    bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    int status = pclose(pipe);
    std::string text = got && status == 0 ? line : "";
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    return text;
}

uint16_t SetChecksum(const std::vector<uint8_t>& s)
{
    uint16_t sum = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if (i == 2 || i == 3)
            continue;
        uint8_t byte = s[i];
        if (i % 32 == 0)
            byte |= 0x80; // as written, while in use
        sum = static_cast<uint16_t>(((sum & 1) ? 0x8000 : 0) + (sum >> 1) + byte);
    }
    return sum;
}

} // namespace

std::string MakeExfatImage(const TempDir& dir, const std::string& name, uint32_t sizeMiB, uint32_t clusterBytes)
{
    std::string path = dir.File(name);
    std::string command = "truncate -s " + std::to_string(sizeMiB) + "M " + Quote(path) + " && mkfs.exfat " +
                          (clusterBytes != 0 ? "-c " + std::to_string(clusterBytes) + " " : "") + Quote(path) +
                          " >/dev/null";
    if (Run(command) != 0)
        ADD_FAILURE() << "mkfs.exfat failed: " << command;
    return path;
}

bool ExfatMount::Mount(const std::string& image, std::string& reason)
{
    if (geteuid() != 0) {
        reason = "exfat-fuse on a loop device needs root";
        return false;
    }
    if (access("/dev/fuse", R_OK | W_OK) != 0) {
        reason = "/dev/fuse cannot be used here";
        return false;
    }
    if (Run("command -v mount.exfat-fuse >/dev/null") != 0) {
        reason = "mount.exfat-fuse is not installed";
        return false;
    }
    m_Loop = Output("losetup --find --show " + Quote(image) + " 2>/dev/null");
    if (m_Loop.empty()) {
        reason = "losetup could not attach a loop device here";
        return false;
    }
    char pattern[] = "/tmp/jexexfat.XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        reason = "cannot make a mount point";
        return false;
    }
    m_Dir = pattern;
    if (Run("mount.exfat-fuse -o sync " + Quote(m_Loop) + " " + Quote(m_Dir) + " 2>&1") != 0) {
        reason = "exfat-fuse could not mount the image here";
        return false;
    }
    m_Mounted = true;
    return true;
}

bool ExfatMount::Unmount()
{
    bool ok = true;
    if (m_Mounted) {
        ok = Run("umount " + Quote(m_Dir)) == 0;
        m_Mounted = !ok;
    }
    if (!m_Mounted && !m_Loop.empty()) {
        ok = Run("losetup -d " + Quote(m_Loop)) == 0 && ok;
        m_Loop.clear();
    }
    if (!m_Mounted && !m_Dir.empty()) {
        rmdir(m_Dir.c_str());
        m_Dir.clear();
    }
    return ok;
}

ExfatMount::~ExfatMount()
{
    Unmount();
}

void ExfatMount::Write(const std::string& relative, const std::vector<uint8_t>& bytes) const
{
    WriteFile(File(relative), bytes);
}

void ExfatMount::MakeFolder(const std::string& relative) const
{
    if (Run("mkdir -p " + Quote(File(relative))) != 0)
        ADD_FAILURE() << "cannot make " << relative;
}

void ExfatMount::Remove(const std::string& relative) const
{
    if (Run("rm -r " + Quote(File(relative))) != 0)
        ADD_FAILURE() << "cannot remove " << relative;
}

std::vector<uint8_t> ExfatSetBytes(const std::u16string& name, uint16_t attributes, uint32_t firstCluster,
                                   uint64_t validLength, uint64_t dataLength, bool contiguous, bool deleted)
{
    const size_t nameEntries = (name.size() + 14) / 15;
    std::vector<uint8_t> s((2 + nameEntries) * 32, 0);
    s[0] = 0x85;
    s[1] = static_cast<uint8_t>(1 + nameEntries);
    Put16(s, 4, attributes);
    Put32(s, 12, 0x5A8C6B21);
    s[32] = 0xC0;
    s[33] = static_cast<uint8_t>(0x01 | (contiguous ? 0x02 : 0));
    s[35] = static_cast<uint8_t>(name.size());
    // The name's hash, over its capitals (ASCII here).
    uint16_t hash = 0;
    for (char16_t unit : name) {
        uint16_t c = static_cast<uint16_t>(unit >= u'a' && unit <= u'z' ? unit - 0x20 : unit);
        for (uint8_t b : {static_cast<uint8_t>(c & 0xFF), static_cast<uint8_t>(c >> 8)})
            hash = static_cast<uint16_t>(((hash & 1) ? 0x8000 : 0) + (hash >> 1) + b);
    }
    Put16(s, 36, hash);
    Put64(s, 40, validLength);
    Put32(s, 52, firstCluster);
    Put64(s, 56, dataLength);
    for (size_t i = 0; i < nameEntries; ++i) {
        s[(2 + i) * 32] = 0xC1;
        for (size_t u = 0; u < 15 && i * 15 + u < name.size(); ++u)
            Put16(s, (2 + i) * 32 + 2 + 2 * u, name[i * 15 + u]);
    }
    Put16(s, 2, SetChecksum(s));
    if (deleted)
        for (size_t at = 0; at < s.size(); at += 32)
            s[at] &= 0x7F;
    return s;
}

ExfatImageEditor::ExfatImageEditor(std::string image) : m_Image(std::move(image))
{
    std::vector<uint8_t> boot = Read(0, 512);
    if (boot.size() < 512) {
        ADD_FAILURE() << m_Image << " holds no boot sector";
        return;
    }
    m_SectorSize = 1u << boot[108];
    m_ClusterSize = static_cast<uint64_t>(m_SectorSize) << boot[109];
    m_Fat = static_cast<uint64_t>(Get32(boot, 80)) * m_SectorSize;
    m_FatBytes = static_cast<uint64_t>(Get32(boot, 84)) * m_SectorSize;
    m_Heap = static_cast<uint64_t>(Get32(boot, 88)) * m_SectorSize;
    m_RootCluster = Get32(boot, 96);
    std::vector<uint8_t> root = Read(ClusterOffset(m_RootCluster), static_cast<size_t>(m_ClusterSize));
    for (size_t at = 0; at + 32 <= root.size(); at += 32)
        if (root[at] == 0x81)
            m_BitmapCluster = Get32(root, at + 20);
    if (m_BitmapCluster == 0)
        ADD_FAILURE() << m_Image << ": no allocation bitmap in the root directory";
}

uint32_t ExfatImageEditor::FirstFreeCluster() const
{
    uint32_t c = 2;
    while (Used(c))
        ++c;
    return c;
}

std::vector<uint8_t> ExfatImageEditor::Table() const
{
    return Read(m_Fat, static_cast<size_t>(m_FatBytes));
}

void ExfatImageEditor::SetTable(const std::vector<uint8_t>& table) const
{
    Write(m_Fat, table);
}

uint32_t ExfatImageEditor::Fat(uint32_t cluster) const
{
    return Get32(Read(m_Fat + 4ull * cluster, 4), 0);
}

void ExfatImageEditor::SetFat(uint32_t cluster, uint32_t value) const
{
    std::vector<uint8_t> bytes(4);
    Put32(bytes, 0, value);
    Write(m_Fat + 4ull * cluster, bytes);
}

bool ExfatImageEditor::Used(uint32_t cluster) const
{
    const uint64_t bit = cluster - 2;
    std::vector<uint8_t> byte = Read(ClusterOffset(m_BitmapCluster) + bit / 8, 1);
    return !byte.empty() && ((byte[0] >> (bit % 8)) & 1) != 0;
}

void ExfatImageEditor::SetUsed(uint32_t cluster, bool used) const
{
    const uint64_t bit = cluster - 2;
    const uint64_t at = ClusterOffset(m_BitmapCluster) + bit / 8;
    std::vector<uint8_t> byte = Read(at, 1);
    byte[0] = static_cast<uint8_t>(used ? byte[0] | (1u << (bit % 8)) : byte[0] & ~(1u << (bit % 8)));
    Write(at, byte);
}

std::vector<uint8_t> ExfatImageEditor::Read(uint64_t offset, size_t count) const
{
    std::ifstream in(m_Image, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<uint8_t> bytes(count);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

void ExfatImageEditor::Write(uint64_t offset, const std::vector<uint8_t>& bytes) const
{
    std::fstream out(m_Image, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(static_cast<std::streamoff>(offset));
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        ADD_FAILURE() << "cannot write " << m_Image;
}

void ExfatImageEditor::PutInRoot(size_t slot, const std::vector<uint8_t>& bytes) const
{
    Write(ClusterOffset(m_RootCluster) + slot * 32, bytes);
}

size_t ExfatImageEditor::FreeRootSlot() const
{
    std::vector<uint8_t> root = Read(ClusterOffset(m_RootCluster), static_cast<size_t>(m_ClusterSize));
    size_t slot = 0;
    while (slot * 32 < root.size() && root[slot * 32] != 0)
        ++slot;
    return slot;
}

void ExfatImageEditor::PutDeletedFiles(const std::map<std::string, std::vector<uint8_t>>& files) const
{
    size_t slot = FreeRootSlot();
    uint32_t cluster = FirstFreeCluster() + 4;
    for (const auto& f : files) {
        Write(ClusterOffset(cluster), f.second);
        std::vector<uint8_t> set = ExfatSetBytes(std::u16string(f.first.begin(), f.first.end()), 0x20, cluster,
                                                 f.second.size(), f.second.size(), true, true);
        PutInRoot(slot, set);
        slot += set.size() / 32;
        cluster += static_cast<uint32_t>(f.second.size() / m_ClusterSize + 2);
    }
}

void ExfatImageEditor::ResealBoot() const
{
    std::vector<uint8_t> region = Read(0, 11 * m_SectorSize);
    uint32_t sum = 0;
    for (size_t i = 0; i < region.size(); ++i) {
        if (i == 106 || i == 107 || i == 112)
            continue;
        sum = ((sum & 1) ? 0x80000000u : 0u) + (sum >> 1) + region[i];
    }
    std::vector<uint8_t> sector(m_SectorSize);
    for (uint32_t at = 0; at < m_SectorSize; at += 4)
        Put32(sector, at, sum);
    Write(11ull * m_SectorSize, sector);
}

} // namespace jextest
