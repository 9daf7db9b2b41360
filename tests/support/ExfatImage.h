// exFAT test images: made with mkfs.exfat, filled through exfat-fuse on a
// loop device where this machine allows it, and changed byte by byte for
// what no driver writes.
#pragma once

#include "support/TestImages.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace jextest {

// mkfs.exfat on a new image of sizeMiB; clusterBytes 0: mkfs.exfat chooses.
std::string MakeExfatImage(const TempDir& dir, const std::string& name, uint32_t sizeMiB, uint32_t clusterBytes = 0);

// An image mounted read-write through exfat-fuse on a loop device. Needs
// root, losetup, /dev/fuse and mount.exfat-fuse; Mount says why not.
class ExfatMount {
public:
    ExfatMount() = default;
    ~ExfatMount();
    ExfatMount(const ExfatMount&) = delete;
    ExfatMount& operator=(const ExfatMount&) = delete;

    bool Mount(const std::string& image, std::string& reason);
    // Unmounts and lets the loop device go, so that the image holds all
    // that was written; false when that fails.
    bool Unmount();
    const std::string& Path() const { return m_Dir; }
    std::string File(const std::string& relative) const { return m_Dir + "/" + relative; }

    void Write(const std::string& relative, const std::vector<uint8_t>& bytes) const;
    void MakeFolder(const std::string& relative) const;
    // A file or a whole folder tree.
    void Remove(const std::string& relative) const;

private:
    std::string m_Loop;
    std::string m_Dir;
    bool m_Mounted = false;
};

// An entry set as a driver writes it: file entry, stream extension, names,
// its checksum; deleted clears the in-use bit of every entry.
std::vector<uint8_t> ExfatSetBytes(const std::u16string& name, uint16_t attributes, uint32_t firstCluster,
                                   uint64_t validLength, uint64_t dataLength, bool contiguous, bool deleted = false);

// Reads and changes an image's structures in place.
class ExfatImageEditor {
public:
    explicit ExfatImageEditor(std::string image);

    uint64_t ClusterSize() const { return m_ClusterSize; }
    uint32_t RootCluster() const { return m_RootCluster; }
    uint64_t ClusterOffset(uint32_t cluster) const { return m_Heap + (cluster - 2) * m_ClusterSize; }
    // The first cluster past those mkfs.exfat used, for data laid by hand.
    uint32_t FirstFreeCluster() const;

    // The allocation table, as bytes, and written back whole.
    std::vector<uint8_t> Table() const;
    void SetTable(const std::vector<uint8_t>& table) const;
    uint32_t Fat(uint32_t cluster) const;
    void SetFat(uint32_t cluster, uint32_t value) const;
    bool Used(uint32_t cluster) const;
    void SetUsed(uint32_t cluster, bool used) const;

    std::vector<uint8_t> Read(uint64_t offset, size_t count) const;
    void Write(uint64_t offset, const std::vector<uint8_t>& bytes) const;
    // Puts bytes into the root directory at entry slot (32 bytes each).
    void PutInRoot(size_t slot, const std::vector<uint8_t>& bytes) const;
    // The first root slot after the entries mkfs.exfat wrote.
    size_t FreeRootSlot() const;
    // Deleted contiguous files (ASCII names) in the root, their data in
    // free clusters, as a card holds them after deletion.
    void PutDeletedFiles(const std::map<std::string, std::vector<uint8_t>>& files) const;
    // Writes the boot checksum sector of the main region again.
    void ResealBoot() const;

private:
    std::string m_Image;
    uint32_t m_SectorSize = 512;
    uint64_t m_ClusterSize = 0;
    uint64_t m_Fat = 0;
    uint64_t m_FatBytes = 0;
    uint64_t m_Heap = 0;
    uint32_t m_RootCluster = 0;
    uint32_t m_BitmapCluster = 0;
};

} // namespace jextest
