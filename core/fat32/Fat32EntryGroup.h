// A FAT directory entry group, parsed from the bytes of a directory: the
// long-name entries of a name (last piece first) followed by the short entry
// they belong to, or a lone short entry.
#pragma once

#include "fat32/Fat32DirEntryDecoder.h"

#include <cstddef>
#include <cstdint>
#include <string>

struct CFatEntryGroup {
    // From the group's first entry.
    bool deleted = false;
    // How many 32-byte entries the group takes.
    size_t entryCount = 0;
    // The short entry; a group whose long-name entries end without one has
    // none.
    bool hasShortEntry = false;
    CFatDirEntryFields shortEntry;
    // The kind from the short entry, or from a first entry that looks like a
    // long-name entry but carries further attribute bits; 0 and FatEntryOther
    // otherwise.
    uint8_t attributes = 0;
    FatEntryType type = FatEntryOther;
    // The long name assembled from its pieces; empty when there is none.
    std::u16string longName;
};

enum class FatGroupParse {
    // A group was parsed.
    Group,
    // The directory ends here: an end marker, or a first cluster past the
    // last valid one.
    End,
    // The bytes end before the group does (or before it starts): the
    // directory's next cluster is needed to go on.
    NeedMore,
};

// A long name has at most 255 characters: 20 entries of 13. Further pieces
// are read past, not kept.
constexpr size_t kFatMaxLongNameEntries = 20;

// Parses the group at the start of size bytes (whole 32-byte entries; a
// partial entry at the end is not read). A long-name entry whose deleted
// mark differs from the entries before it starts the next group: leftover
// entries of another name never join this one.
FatGroupParse ZelParseFatEntryGroup(const uint8_t* bytes, size_t size, CFatEntryGroup& group);
