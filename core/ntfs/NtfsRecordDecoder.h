// An MFT record decoded from its bytes (fixups already applied): the header
// flags and the attributes the engine uses, every length and offset checked
// against the record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One run of a non-resident attribute: lcn -1 marks a hole.
struct CNtfsRun {
    int64_t vcn = 0;
    int64_t lcn = 0;
    int64_t length = 0;
};

struct CNtfsFileNameFields {
    uint64_t parentReference = 0;
    uint64_t allocatedSize = 0;
    uint64_t dataSize = 0;
    uint8_t nameSpace = 0;
    std::u16string name;
};

struct CNtfsDataFields {
    std::u16string name; // empty for the unnamed stream
    bool resident = false;
    // Resident: where the value lies in the record.
    size_t valueOffset = 0;
    size_t valueLength = 0;
    // Non-resident sizes and runs.
    uint64_t allocatedSize = 0;
    uint64_t dataSize = 0;
    uint64_t initializedSize = 0;
    bool runsDecoded = false;
    std::vector<CNtfsRun> runs;
    // Attribute flags: compressed in units of 2^compressionUnit clusters,
    // or encrypted.
    bool compressed = false;
    uint8_t compressionUnit = 0;
    bool encrypted = false;
    // Gathered from several records, and some of its extents were not
    // found: their clusters are holes.
    bool incomplete = false;
};

// One entry of an $ATTRIBUTE_LIST: where an attribute (or the part of it
// from lowestVcn on) lives.
struct CNtfsAttributeListEntry {
    uint32_t type = 0;
    std::u16string name;
    int64_t lowestVcn = 0;
    uint64_t reference = 0;
};

struct CNtfsRecordFields {
    uint16_t flags = 0;
    // Raised each time the record is freed; a reference to the record
    // carries the number it had then.
    uint16_t sequence = 0;
    // From $STANDARD_INFORMATION, when it holds them.
    uint32_t fileAttributes = 0;
    // The record's attributes continue in other records: the list, resident
    // (its value in the record) or not (its runs).
    bool hasAttributeList = false;
    CNtfsDataFields attributeList;
    // The base record an extension record belongs to; 0 in a base record.
    uint64_t baseReference = 0;
    bool hasStandardInformation = false;
    int64_t dataChangeTime = 0; // NTFS time
    bool hasIndexRoot = false;
    // The folder's index of names ($I30): the root's value in the record,
    // and the INDX blocks' runs (gathered like data where the record has an
    // attribute list).
    size_t indexRootOffset = 0;
    size_t indexRootLength = 0;
    bool hasIndexAllocation = false;
    CNtfsDataFields indexAllocation;
    std::vector<CNtfsFileNameFields> fileNames;
    std::vector<CNtfsDataFields> dataStreams;

    bool InUse() const;
};

// Decodes length bytes of one MFT record; false when they are not one (no
// "FILE" magic, header values outside the record). Attributes that do not
// fit the record end the walk; what was decoded before them stays.
bool ZelDecodeMftRecord(const uint8_t* bytes, size_t length, CNtfsRecordFields& record);

// Decodes the entries of an $ATTRIBUTE_LIST value; false when one does not
// fit (the entries before it are kept).
bool ZelDecodeAttributeList(const uint8_t* bytes, size_t length, std::vector<CNtfsAttributeListEntry>& entries);

// Decodes mapping pairs into runs starting at lowestVcn; false when they are
// malformed (runs decoded before the fault are kept).
bool ZelDecodeMappingPairs(const uint8_t* bytes, size_t length, int64_t lowestVcn, std::vector<CNtfsRun>& runs);
