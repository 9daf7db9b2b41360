// Offsets and sizes of the exFAT structures the engine reads.
#pragma once

#include <cstddef>
#include <cstdint>

namespace exfatlayout {

// Main boot sector (sector 0 of the boot region).
constexpr size_t kBootJump = 0;                  // 3 bytes, EB 76 90
constexpr size_t kBootFileSystemName = 3;        // 8 bytes, "EXFAT   "
constexpr size_t kBootMustBeZero = 11;           // 53 bytes
constexpr size_t kBootMustBeZeroSize = 53;
constexpr size_t kBootPartitionOffset = 64;      // 8 bytes, in sectors
constexpr size_t kBootVolumeLength = 72;         // 8 bytes, in sectors
constexpr size_t kBootFatOffset = 80;            // 4 bytes, in sectors
constexpr size_t kBootFatLength = 84;            // 4 bytes, in sectors
constexpr size_t kBootClusterHeapOffset = 88;    // 4 bytes, in sectors
constexpr size_t kBootClusterCount = 92;         // 4 bytes
constexpr size_t kBootRootCluster = 96;          // 4 bytes
constexpr size_t kBootVolumeSerial = 100;        // 4 bytes
constexpr size_t kBootRevision = 104;            // 2 bytes
constexpr size_t kBootVolumeFlags = 106;         // 2 bytes, left out of the checksum
constexpr size_t kBootBytesPerSectorShift = 108; // 1 byte, 9 to 12
constexpr size_t kBootSectorsPerClusterShift = 109; // 1 byte, cluster at most 32 MiB
constexpr size_t kBootNumberOfFats = 110;        // 1 byte, 1 or 2
constexpr size_t kBootPercentInUse = 112;        // 1 byte, left out of the checksum
constexpr size_t kBootSignature = 510;           // 55 AA
constexpr size_t kBootMinimumSize = 512;

// The boot region: the main boot sector, eight extended boot sectors, the
// OEM parameters, a reserved sector and the checksum sector; the backup
// region follows it.
constexpr uint32_t kBootRegionSectors = 12;
constexpr uint32_t kChecksummedSectors = 11;
constexpr uint32_t kChecksumSector = 11;
constexpr uint32_t kBackupRegionSector = 12;

constexpr uint32_t kMinBytesPerSectorShift = 9;
constexpr uint32_t kMaxBytesPerSectorShift = 12;
constexpr uint32_t kMaxClusterShift = 25;
constexpr uint32_t kMaxClusterCount = 0xFFFFFFF5;
constexpr uint32_t kFirstCluster = 2;
// Table values past the last cluster.
constexpr uint32_t kBadCluster = 0xFFFFFFF7;
constexpr uint32_t kEndOfChain = 0xFFFFFFFF;

// 32-byte directory entries. The type's top bit is set while the entry is
// in use and cleared when it is deleted; bit 6 tells secondary entries
// from primary ones.
constexpr size_t kEntrySize = 32;
constexpr size_t kEntryType = 0;
constexpr uint8_t kTypeInUse = 0x80;
constexpr uint8_t kTypeEndOfDirectory = 0x00;
constexpr uint8_t kTypeAllocationBitmap = 0x81;
constexpr uint8_t kTypeUpcaseTable = 0x82;
constexpr uint8_t kTypeVolumeLabel = 0x83;
constexpr uint8_t kTypeFile = 0x85;
constexpr uint8_t kTypeStreamExtension = 0xC0;
constexpr uint8_t kTypeFileName = 0xC1;

// Up-case table entry: its checksum; first cluster and length sit where
// a stream extension keeps them.
constexpr size_t kUpcaseChecksum = 4;            // 4 bytes

// File entry (the set's primary entry).
constexpr size_t kFileSecondaryCount = 1;        // 1 byte, 2 to 18
constexpr size_t kFileSetChecksum = 2;           // 2 bytes, left out of itself
constexpr size_t kFileAttributes = 4;            // 2 bytes
constexpr size_t kFileCreateTimestamp = 8;       // 4 bytes
constexpr size_t kFileModifiedTimestamp = 12;    // 4 bytes
constexpr size_t kFileAccessedTimestamp = 16;    // 4 bytes
constexpr size_t kFileModified10ms = 21;         // 1 byte, 0 to 199
constexpr size_t kFileModifiedUtcOffset = 23;    // 1 byte, bit 7: valid
constexpr uint8_t kMinSecondaryCount = 2;
constexpr uint8_t kMaxSecondaryCount = 18;
constexpr uint16_t kAttributeDirectory = 0x10;

// Stream extension entry.
constexpr size_t kStreamFlags = 1;               // 1 byte
constexpr uint8_t kFlagAllocationPossible = 0x01;
constexpr uint8_t kFlagNoFatChain = 0x02;
constexpr size_t kStreamNameLength = 3;          // 1 byte, 1 to 255
constexpr size_t kStreamNameHash = 4;            // 2 bytes
constexpr size_t kStreamValidDataLength = 8;     // 8 bytes
constexpr size_t kStreamFirstCluster = 20;       // 4 bytes
constexpr size_t kStreamDataLength = 24;         // 8 bytes

// File name entry: 15 UTF-16 units.
constexpr size_t kNameUnits = 2;                 // 30 bytes
constexpr size_t kNameUnitsPerEntry = 15;

} // namespace exfatlayout
