// Offsets and sizes of the FAT structures the engine reads.
#pragma once

#include "engine/ZelLimits.h"

#include <cstddef>
#include <cstdint>

namespace fat32layout {

// Boot sector (sector 0).
constexpr size_t kBootBytesPerSector = 11;      // 2 bytes
constexpr size_t kBootSectorsPerCluster = 13;   // 1 byte
constexpr size_t kBootReservedSectors = 14;     // 2 bytes
constexpr size_t kBootNumberOfFats = 16;        // 1 byte
constexpr size_t kBootRootEntryCount = 17;      // 2 bytes; 0 on FAT32
constexpr size_t kBootTotalSectors16 = 19;      // 2 bytes; 0 when the 32-bit count holds it
constexpr size_t kBootSectorsPerFat16 = 22;     // 2 bytes; non-zero on FAT12/FAT16
constexpr size_t kBootTotalSectors32 = 32;      // 4 bytes
constexpr size_t kBootSectorsPerFat32 = 36;     // 4 bytes
constexpr size_t kBootRootCluster = 44;         // 4 bytes
constexpr size_t kBootMinimumSize = 62;         // bytes the check needs
constexpr size_t kBootSectorSize = 512;

// 32-byte directory entry.
constexpr size_t kEntrySize = 32;
constexpr size_t kEntryBaseName = 0;            // 8 bytes, space-padded
constexpr size_t kEntryBaseNameSize = 8;
constexpr size_t kEntryExtension = 8;           // 3 bytes, space-padded
constexpr size_t kEntryExtensionSize = 3;
constexpr size_t kEntryAttributes = 11;
constexpr size_t kEntryCaseByte = 12;
// Flags of the case byte that Windows and Linux write for an 8.3 name whose
// base or extension is all small letters (stored as capitals).
constexpr uint8_t kCaseLowerBase = 0x08;
constexpr uint8_t kCaseLowerExtension = 0x10;
// What stands where the deletion mark took a name's first character.
constexpr char kLostFirstCharacter = '_';
constexpr size_t kEntryClusterHigh = 20;        // 2 bytes
constexpr size_t kEntryClusterLow = 26;         // 2 bytes
constexpr size_t kEntryFileSize = 28;           // 4 bytes

// Long-name entry: 13 UTF-16 units in three runs.
constexpr size_t kLongNameUnits = 13;
constexpr size_t kLongNameRun1 = 1;             // 5 units
constexpr size_t kLongNameRun2 = 14;            // 6 units
constexpr size_t kLongNameRun3 = 28;            // 2 units

constexpr uint8_t kEndOfDirectory = 0x00;
constexpr uint8_t kDeletedMark = 0xE5;
constexpr uint8_t kLongNameAttributes = 0x0F;
constexpr uint8_t kLongNameMask = 0x3F;
constexpr uint8_t kTypeMask = 0x18;
constexpr uint32_t kLastValidCluster = 0x0FFFFFF7;
// The highest cluster a 12- or 16-bit entry can name; a volume of fewer
// than kFat12MaxClusters clusters is FAT12.
constexpr uint32_t kFat12LastCluster = 0xFF6;
constexpr uint32_t kFat16LastCluster = 0xFFF6;
constexpr uint64_t kFat12MaxClusters = 4085;

// At most this many 32-byte entries make one directory.
constexpr uint32_t kMaxEntriesPerDirectory = zellimits::kMaxFatFolderEntries;

} // namespace fat32layout
