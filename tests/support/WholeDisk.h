// A whole-disk image made at test time with sfdisk: partition 1 a FAT32
// volume (mkfs.fat, mtools) and, unless left out, an NTFS volume (mkntfs,
// libntfs-3g); each volume with one deleted file. In an MBR table the NTFS
// volume is partition 5, inside the extended partition 2; in a GPT table
// it is partition 2.
#pragma once

#include "support/MtoolsImage.h"

#include <cstdint>
#include <string>
#include <vector>

namespace jextest {

struct WholeDisk {
    enum Table { Mbr, Gpt };
    explicit WholeDisk(bool withNtfs = true, Table kind = Mbr);

    std::vector<uint8_t> fat = Content(30000, 1), letter = Content(12345, 2);
    MtoolsImage card;
    std::string ntfs, image;
    // In sectors of 512 bytes.
    uint64_t fatStart = 0, ntfsStart = 0;
    int ntfsNumber = 5;
};

} // namespace jextest
