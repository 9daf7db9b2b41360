// A found entry as every engine lists it for the one iterator: the record
// it restores from, where it lies, its names and the little else an entry
// object shows.
#pragma once

#include "engine/ZelEngineRecord.h"

#include <cstdint>
#include <string>

struct CZelListedEntry {
    const CZelEngineRecord* record = nullptr;
    // The folder it was found in: the index of an earlier entry of the
    // listing, or -1 for the root.
    int64_t parent = -1;
    // Set where an engine names the folder by its path below the root
    // instead (NTFS, whose folders need not be listed): that path, null for
    // the root; it is kept by the engine for as long as its found set.
    bool ownFolderPath = false;
    const std::wstring* folderPath = nullptr;
    // The name in the volume's narrow text (FAT's 8.3 name), and the name
    // shown where the engine has one of its own (FAT's long name).
    std::string nameA;
    std::string nameU;
    // The last parts of the entry's paths, which a folder also gives the
    // paths below it: the narrow one, and the one shown (empty: none).
    std::string leafA;
    std::string leafU;
    uint64_t size = 0;
    uint32_t attributes = 0;
    bool directory = false;
    // The entry is marked deleted (a folder above it marks it too).
    bool deleted = false;
};
