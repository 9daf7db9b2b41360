// An exFAT directory entry set: a file entry, its stream extension and its
// file name entries, live or deleted (a deleted set has the in-use bit of
// every entry's type cleared), decoded and checked as one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct CExfatEntrySet {
    bool deleted = false;
    // Entries after the file entry.
    uint8_t secondaryCount = 0;
    uint16_t attributes = 0;
    uint32_t createTimestamp = 0;
    uint32_t modifiedTimestamp = 0;
    uint32_t accessedTimestamp = 0;
    uint8_t modified10ms = 0;
    uint8_t modifiedUtcOffset = 0;
    // From the stream extension.
    bool allocationPossible = false;
    bool noFatChain = false;
    uint8_t nameLength = 0;
    uint16_t nameHash = 0;
    uint64_t validDataLength = 0;
    uint64_t dataLength = 0;
    uint32_t firstCluster = 0;
    // nameLength UTF-16 units, as recorded (a unit of 0 included).
    std::u16string name;

    bool IsDirectory() const;
    // Bytes the set takes.
    size_t Bytes() const;
};

enum class ExfatSetCheck {
    Set,
    // The entry is no file entry, live or deleted.
    NotAFile,
    // The set runs past the bytes given: it goes on in the next cluster.
    Short,
    // A file entry whose set does not hold together (count, stream, names,
    // in-use bits or checksum); problem says which.
    Broken,
};

// Decodes the set whose file entry starts bytes, with length bytes after
// it to draw on.
ExfatSetCheck ZelDecodeExfatEntrySet(const uint8_t* bytes, size_t length, CExfatEntrySet& set, std::string& problem);

// The set checksum of count entries from bytes, leaving out the checksum
// field itself. asInUse counts every entry's type with its in-use bit set,
// as it was when the checksum was written: deleting a set clears the bits
// and leaves the checksum.
uint16_t ZelExfatSetChecksum(const uint8_t* bytes, size_t count, bool asInUse);

// The hash of a name that a stream extension records, over the name in
// capitals: those of upcase (65,536 units, the volume's up-case table)
// where given, else those of ASCII and Latin-1, other characters taken as
// they are.
uint16_t ZelExfatNameHash(const std::u16string& name, const std::vector<uint16_t>* upcase = nullptr);
