// A FAT image (FAT32 unless asked otherwise) made with mkfs.fat, filled and
// emptied with mtools, scanned through the core's exports; and the few byte
// edits the tests make to a FAT32 one.
#pragma once

#include "support/ExportCore.h"
#include "support/TestImages.h"

#include <cstdint>
#include <string>
#include <vector>

namespace jextest {

class MtoolsImage {
public:
    // A FAT32 volume unless fatBits says 12 or 16.
    MtoolsImage(uint32_t sectorSize, uint32_t sectorsPerCluster, uint32_t sizeKiB, int fatBits = 32);
    void Folder(const std::string& path);
    void Put(const std::string& path, const std::vector<uint8_t>& data);
    void Delete(const std::string& path);
    void DeleteTree(const std::string& path);
    // Scans through the exports, checking the file system's name and that
    // the progress ended at 1.
    ExportScan Scan(boost::shared_ptr<CZelCheckFile> filter = {}, bool deep = false);

    uint64_t ClusterSize() const;
    // Makes mtools look for free clusters from the volume's start again
    // (the next-free hint of the FSInfo sector is set to unknown), so that
    // the next file fills the holes deleted files left.
    void ForgetNextFree();
    // The volume offset of the short entry (deleted ones included) whose
    // 11-byte name ends in tail, in the directory that starts at cluster;
    // 0 when there is none.
    uint64_t FindShortEntry(uint32_t cluster, const std::string& tail) const;
    // The first cluster of a live entry, found as FindShortEntry finds it.
    uint32_t FirstCluster(uint32_t directoryCluster, const std::string& tail) const;
    // Overwrites bytes of the image.
    void Patch(uint64_t offset, const std::vector<uint8_t>& bytes);

    TempDir dir;
    std::string image;
    int fatBits;

private:
    void Mtools(const std::string& command);
};

} // namespace jextest
