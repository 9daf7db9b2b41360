// A folder's index of names ($I30), decoded from its bytes: the entries in
// use, and those a deletion left behind in the slack after them. Each names
// a file by its record and sequence, and gives that file's name and parent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct CNtfsIndexEntry {
    uint64_t reference = 0;
    uint64_t parentReference = 0;
    // The file's attributes as the folder lists them: a folder's carry
    // kFileAttributeDirectory.
    uint32_t fileAttributes = 0;
    uint8_t nameSpace = 0;
    std::u16string name;
    // Found in the node's slack: left there when the entry was removed.
    bool stale = false;
};

// The entries of one index node whose header lies at header in length bytes:
// those in use up to the node's used length, and in the slack up to its
// allocated length every whole entry whose parent is the folder's record.
// Offsets and lengths outside the bytes end the walk; what was decoded
// before stays.
void ZelDecodeIndexNode(const uint8_t* bytes, size_t length, size_t header, uint64_t folderRecord,
                        std::vector<CNtfsIndexEntry>& entries);

// Whole entries naming folderRecord as their parent between begin and end
// of bytes, at 8-byte steps: what a node's slack, or a record's bytes past
// its shrunk index root, kept of entries since moved or removed.
void ZelFindStaleIndexEntries(const uint8_t* bytes, size_t begin, size_t end, uint64_t folderRecord,
                              std::vector<CNtfsIndexEntry>& entries);

// An INDX block of size bytes: its update sequence checked and undone (in
// place), then its node decoded; false when it is no intact INDX block.
bool ZelDecodeIndexBlock(uint8_t* bytes, size_t size, uint64_t folderRecord, std::vector<CNtfsIndexEntry>& entries);

// The block size an $INDEX_ROOT value names, and its node's entries; false
// when the value is too short to hold its header.
bool ZelDecodeIndexRoot(const uint8_t* value, size_t length, uint64_t folderRecord, uint32_t& blockSize,
                        std::vector<CNtfsIndexEntry>& entries);
