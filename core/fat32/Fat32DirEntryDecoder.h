// One 32-byte FAT directory entry decoded from its bytes: the fields of a
// short entry, and the 13 name units it holds when it is a long-name entry.
#pragma once

#include "fat32/DirEntryInterface.h"

#include <cstddef>
#include <cstdint>
#include <string>

struct CFatDirEntryFields {
    uint8_t firstByte = 0;
    uint8_t attributes = 0;
    uint8_t caseByte = 0;
    // Base name and extension with trailing spaces removed.
    std::string baseName;
    std::string extension;
    uint32_t firstCluster = 0;
    uint32_t fileSize = 0;
    // As a long-name entry: its units, where every unit after the first
    // 0x0000 is also 0x0000 (so 0xFFFF filler never reaches a name).
    char16_t nameUnits[13] = {};

    bool IsEndOfDirectory() const;
    bool IsDeleted() const;
    // (attributes AND 0x3F) is 0x0F.
    bool IsLongNameEntry() const;
    // The kind from (attributes AND 0x18).
    FatEntryType Type() const;
    // base, or base + "." + extension for a file (the dot also when the
    // extension is empty).
    std::string ShortName() const;
    // The units up to the first 0x0000.
    std::u16string NameUnitsText() const;
};

// Decodes length bytes; false when fewer than 32 bytes are given.
bool ZelDecodeFatDirEntry(const uint8_t* bytes, size_t length, CFatDirEntryFields& entry);

FatEntryType ZelFatEntryType(uint8_t attributes);
