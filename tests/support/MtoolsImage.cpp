#include "support/MtoolsImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

namespace jextest {

namespace {

uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes)
{
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | b[at + static_cast<size_t>(i)];
    return v;
}

std::vector<uint8_t> ReadAt(const std::string& path, uint64_t offset, size_t count)
{
    std::vector<uint8_t> bytes(count);
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

} // namespace

MtoolsImage::MtoolsImage(uint32_t sectorSize, uint32_t sectorsPerCluster, uint32_t sizeKiB, int bits)
    : fatBits(bits)
{
    image = MakeFatImage(dir, "card.img", bits, sizeKiB, sectorSize, sectorsPerCluster);
}

void MtoolsImage::Folder(const std::string& path)
{
    Mtools("mmd -i " + Quote(image) + " " + Quote("::/" + path));
}

void MtoolsImage::Put(const std::string& path, const std::vector<uint8_t>& data)
{
    std::string local = dir.File("upload");
    WriteFile(local, data);
    Mtools("mcopy -i " + Quote(image) + " " + Quote(local) + " " + Quote("::/" + path));
}

void MtoolsImage::Delete(const std::string& path)
{
    Mtools("mdel -i " + Quote(image) + " " + Quote("::/" + path));
}

void MtoolsImage::DeleteTree(const std::string& path)
{
    Mtools("mdeltree -i " + Quote(image) + " " + Quote("::/" + path));
}

ExportScan MtoolsImage::Scan(boost::shared_ptr<CZelCheckFile> filter, bool deep)
{
    ExportScan scan(image, filter, deep);
    if (scan.fs) {
        EXPECT_EQ(scan.fs->GetName(), L"FAT" + std::to_wstring(fatBits));
    }
    EXPECT_DOUBLE_EQ(scan.progress, 1.0);
    return scan;
}

void MtoolsImage::Mtools(const std::string& command)
{
    // mtools converts names through the locale: make it UTF-8.
    EXPECT_EQ(Run("LC_ALL=C.UTF-8 MTOOLS_SKIP_CHECK=1 " + command), 0) << command;
}

uint64_t MtoolsImage::ClusterSize() const
{
    std::vector<uint8_t> boot = ReadAt(image, 0, 512);
    return static_cast<uint64_t>(Le(boot, 11, 2)) * boot[13];
}

void MtoolsImage::ForgetNextFree()
{
    std::vector<uint8_t> boot = ReadAt(image, 0, 512);
    const uint64_t fsinfo = static_cast<uint64_t>(Le(boot, 48, 2)) * Le(boot, 11, 2);
    Patch(fsinfo + 492, {0xFF, 0xFF, 0xFF, 0xFF});
}

uint64_t MtoolsImage::FindShortEntry(uint32_t cluster, const std::string& tail) const
{
    std::vector<uint8_t> boot = ReadAt(image, 0, 512);
    const uint64_t sector = Le(boot, 11, 2);
    const uint64_t data = (Le(boot, 14, 2) + static_cast<uint64_t>(boot[16]) * Le(boot, 36, 4)) * sector;
    const uint64_t clusterSize = sector * boot[13];
    const uint64_t start = data + (cluster - 2) * clusterSize;
    std::vector<uint8_t> entries = ReadAt(image, start, static_cast<size_t>(clusterSize));
    for (size_t at = 0; at + 32 <= entries.size(); at += 32) {
        if (entries[at] == 0)
            break;
        if ((entries[at + 11] & 0x3F) == 0x0F)
            continue;
        if (std::memcmp(&entries[at + 11 - tail.size()], tail.data(), tail.size()) == 0)
            return start + at;
    }
    return 0;
}

uint32_t MtoolsImage::FirstCluster(uint32_t directoryCluster, const std::string& tail) const
{
    uint64_t at = FindShortEntry(directoryCluster, tail);
    if (at == 0)
        return 0;
    std::vector<uint8_t> entry = ReadAt(image, at, 32);
    return (Le(entry, 20, 2) << 16) | Le(entry, 26, 2);
}

void MtoolsImage::Patch(uint64_t offset, const std::vector<uint8_t>& bytes)
{
    std::fstream io(image, std::ios::binary | std::ios::in | std::ios::out);
    io.seekp(static_cast<std::streamoff>(offset));
    io.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(io.good()) << image;
}

} // namespace jextest
