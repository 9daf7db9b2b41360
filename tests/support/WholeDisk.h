// A whole-disk image made at test time: an MBR table made with sfdisk,
// partition 1 a FAT32 volume (mkfs.fat, mtools), and unless left out an
// extended partition 2 holding partition 5, an NTFS volume (mkntfs,
// libntfs-3g); each volume with one deleted file.
#pragma once

#include "support/MtoolsImage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace jextest {

struct WholeDisk {
    explicit WholeDisk(bool withNtfs = true);

    std::vector<uint8_t> fat = Content(30000, 1), letter = Content(12345, 2);
    MtoolsImage card;
    std::string ntfs, image;
    // In sectors of 512 bytes.
    uint64_t fatStart = 0, ntfsStart = 0;
};

} // namespace jextest
