// Offsets and sizes of the NTFS structures the engine decodes itself.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ntfslayout {

// MFT record header.
constexpr size_t kRecordMagic = 0;            // "FILE"
constexpr size_t kRecordSequence = 16;        // 2 bytes
constexpr size_t kRecordAttributesOffset = 20; // 2 bytes
constexpr size_t kRecordFlags = 22;           // 2 bytes
constexpr size_t kRecordBytesInUse = 24;      // 4 bytes
constexpr size_t kRecordBaseReference = 32;   // 8 bytes, 0 in a base record
constexpr size_t kRecordHeaderSize = 42;
constexpr uint16_t kRecordInUse = 0x0001;

// Attribute header.
constexpr size_t kAttrType = 0;               // 4 bytes
constexpr size_t kAttrLength = 4;             // 4 bytes
constexpr size_t kAttrNonResident = 8;        // 1 byte
constexpr size_t kAttrNameLength = 9;         // 1 byte, UTF-16 units
constexpr size_t kAttrNameOffset = 10;        // 2 bytes
constexpr size_t kAttrFlags = 12;             // 2 bytes
constexpr uint16_t kAttrCompressed = 0x0001;
constexpr uint16_t kAttrEncrypted = 0x4000;
constexpr size_t kAttrHeaderSize = 16;
// Resident attributes.
constexpr size_t kAttrValueLength = 16;       // 4 bytes
constexpr size_t kAttrValueOffset = 20;       // 2 bytes
constexpr size_t kAttrResidentHeaderSize = 24;
// Non-resident attributes.
constexpr size_t kAttrLowestVcn = 16;         // 8 bytes
constexpr size_t kAttrMappingPairsOffset = 32; // 2 bytes
constexpr size_t kAttrCompressionUnit = 34;   // 1 byte, log2 of clusters
constexpr size_t kAttrAllocatedSize = 40;     // 8 bytes
constexpr size_t kAttrDataSize = 48;          // 8 bytes
constexpr size_t kAttrInitializedSize = 56;   // 8 bytes
constexpr size_t kAttrNonResidentHeaderSize = 64;

constexpr uint32_t kTypeStandardInformation = 0x10;
constexpr uint32_t kTypeAttributeList = 0x20;
constexpr uint32_t kTypeFileName = 0x30;
constexpr uint32_t kTypeData = 0x80;
constexpr uint32_t kTypeIndexRoot = 0x90;
constexpr uint32_t kTypeIndexAllocation = 0xA0;
constexpr uint32_t kTypeEnd = 0xFFFFFFFF;

// $ATTRIBUTE_LIST entry.
constexpr size_t kAlType = 0;                 // 4 bytes
constexpr size_t kAlLength = 4;               // 2 bytes
constexpr size_t kAlNameLength = 6;           // 1 byte, UTF-16 units
constexpr size_t kAlNameOffset = 7;           // 1 byte
constexpr size_t kAlLowestVcn = 8;            // 8 bytes
constexpr size_t kAlReference = 16;           // 8 bytes, the record that holds it
constexpr size_t kAlHeaderSize = 26;

// $STANDARD_INFORMATION value.
constexpr size_t kSiDataChangeTime = 8;       // 8 bytes
constexpr size_t kSiMinimumSize = 16;
constexpr size_t kSiFileAttributes = 32;      // 4 bytes
constexpr uint32_t kFileAttributeEncrypted = 0x4000;

// $FILE_NAME value.
constexpr size_t kFnParentReference = 0;      // 8 bytes
constexpr size_t kFnAllocatedSize = 40;       // 8 bytes
constexpr size_t kFnDataSize = 48;            // 8 bytes
constexpr size_t kFnFlags = 56;               // 4 bytes, the file's attributes
constexpr uint32_t kFileAttributeDirectory = 0x10000000;
constexpr size_t kFnNameLength = 64;          // 1 byte, UTF-16 units
constexpr size_t kFnNameSpace = 65;           // 1 byte
constexpr size_t kFnName = 66;

// A folder's index: $INDEX_ROOT value, the header of every node (in the
// root after its own fields, in an INDX block after the block's), and the
// entries, whose key is a $FILE_NAME value.
constexpr size_t kIrBlockSize = 8;            // 4 bytes, of an INDX block
constexpr size_t kIrNode = 16;
constexpr size_t kNodeEntriesOffset = 0;      // 4 bytes, from the node header
constexpr size_t kNodeUsed = 4;               // 4 bytes, from the node header
constexpr size_t kNodeAllocated = 8;          // 4 bytes, from the node header
constexpr size_t kNodeHeaderSize = 16;
constexpr size_t kIndxUpdateSequence = 4;     // 2 bytes
constexpr size_t kIndxUpdateCount = 6;        // 2 bytes
constexpr size_t kIndxNode = 24;
constexpr size_t kEntryReference = 0;         // 8 bytes
constexpr size_t kEntryLength = 8;            // 2 bytes
constexpr size_t kEntryKeyLength = 10;        // 2 bytes
constexpr size_t kEntryFlags = 12;            // 2 bytes
constexpr uint16_t kEntryHasSubnode = 0x01;
constexpr uint16_t kEntryLast = 0x02;
constexpr size_t kEntryKey = 16;

// Name spaces, lowest preferred.
constexpr uint8_t kNameSpacePosix = 0;
constexpr uint8_t kNameSpaceWin32 = 1;
constexpr uint8_t kNameSpaceDos = 2;
constexpr uint8_t kNameSpaceWin32AndDos = 3;

// The root directory's record.
constexpr uint64_t kRootRecord = 5;
// $Extend, whose files are the system's; records below kFirstUserRecord
// are the system's own.
constexpr uint64_t kExtendRecord = 11;
constexpr uint64_t kFirstUserRecord = 24;

// 100-nanosecond intervals from 1601-01-01 to 1970-01-01.
constexpr int64_t kEpochDifference = 116444736000000000LL;

// The MFT record number of a file reference (its low 48 bits).
constexpr uint64_t RecordOf(uint64_t reference)
{
    return reference & 0x0000FFFFFFFFFFFFull;
}

} // namespace ntfslayout
