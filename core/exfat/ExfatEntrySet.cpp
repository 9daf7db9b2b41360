#include "exfat/ExfatEntrySet.h"

#include "exfat/ExfatLayout.h"
#include "jexcommon/ByteOrder.h"

using namespace exfatlayout;

bool CExfatEntrySet::IsDirectory() const
{
    return (attributes & kAttributeDirectory) != 0;
}

size_t CExfatEntrySet::Bytes() const
{
    return (static_cast<size_t>(secondaryCount) + 1) * kEntrySize;
}

uint16_t ZelExfatNameHash(const std::u16string& name, const std::vector<uint16_t>* upcase)
{
    const bool table = upcase != nullptr && upcase->size() == 65536;
    uint16_t hash = 0;
    for (char16_t unit : name) {
        uint16_t c = static_cast<uint16_t>(unit);
        if (table)
            c = (*upcase)[c];
        else if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
            c = static_cast<uint16_t>(c - 0x20);
        else if (c == 0xFF)
            c = 0x178;
        for (uint8_t b : {static_cast<uint8_t>(c & 0xFF), static_cast<uint8_t>(c >> 8)})
            hash = static_cast<uint16_t>(((hash & 1) ? 0x8000u : 0u) + (hash >> 1) + b);
    }
    return hash;
}

uint16_t ZelExfatSetChecksum(const uint8_t* bytes, size_t count, bool asInUse)
{
    uint16_t sum = 0;
    for (size_t i = 0; i < count * kEntrySize; ++i) {
        if (i == kFileSetChecksum || i == kFileSetChecksum + 1)
            continue;
        uint8_t b = bytes[i];
        if (asInUse && i % kEntrySize == kEntryType)
            b |= kTypeInUse;
        sum = static_cast<uint16_t>(((sum & 1) ? 0x8000u : 0u) + (sum >> 1) + b);
    }
    return sum;
}

ExfatSetCheck ZelDecodeExfatEntrySet(const uint8_t* bytes, size_t length, CExfatEntrySet& set, std::string& problem)
{
    set = CExfatEntrySet();
    if (bytes == nullptr || length < kEntrySize || (bytes[kEntryType] & ~kTypeInUse) != (kTypeFile & ~kTypeInUse))
        return ExfatSetCheck::NotAFile;
    set.deleted = (bytes[kEntryType] & kTypeInUse) == 0;
    set.secondaryCount = bytes[kFileSecondaryCount];
    if (set.secondaryCount < kMinSecondaryCount || set.secondaryCount > kMaxSecondaryCount) {
        problem = "a file entry with " + std::to_string(set.secondaryCount) + " secondary entries";
        return ExfatSetCheck::Broken;
    }
    if (set.Bytes() > length)
        return ExfatSetCheck::Short;

    // Every entry of the set is in use, or every one is deleted: a set
    // partly written over by a later one is no set.
    const uint8_t inUse = set.deleted ? 0 : kTypeInUse;
    for (size_t i = 1; i <= set.secondaryCount; ++i) {
        const uint8_t type = bytes[i * kEntrySize + kEntryType];
        if ((type & kTypeInUse) != inUse || (type & 0x40) == 0) {
            problem = "entry " + std::to_string(i) + " of the set is no " +
                      (set.deleted ? "deleted" : "live") + " secondary entry";
            return ExfatSetCheck::Broken;
        }
    }
    const uint8_t* stream = bytes + kEntrySize;
    if ((stream[kEntryType] | kTypeInUse) != kTypeStreamExtension) {
        problem = "the set has no stream extension";
        return ExfatSetCheck::Broken;
    }
    set.nameLength = stream[kStreamNameLength];
    const size_t nameEntries = (static_cast<size_t>(set.nameLength) + kNameUnitsPerEntry - 1) / kNameUnitsPerEntry;
    if (set.nameLength == 0 || 1 + nameEntries > set.secondaryCount) {
        problem = "a name of " + std::to_string(set.nameLength) + " characters in a set of " +
                  std::to_string(set.secondaryCount) + " secondary entries";
        return ExfatSetCheck::Broken;
    }
    const uint16_t recorded = ZelLE16(bytes + kFileSetChecksum);
    if (ZelExfatSetChecksum(bytes, set.Bytes() / kEntrySize, set.deleted) != recorded) {
        problem = "the set checksum does not agree";
        return ExfatSetCheck::Broken;
    }

    set.attributes = ZelLE16(bytes + kFileAttributes);
    set.createTimestamp = ZelLE32(bytes + kFileCreateTimestamp);
    set.modifiedTimestamp = ZelLE32(bytes + kFileModifiedTimestamp);
    set.accessedTimestamp = ZelLE32(bytes + kFileAccessedTimestamp);
    set.modified10ms = bytes[kFileModified10ms];
    set.modifiedUtcOffset = bytes[kFileModifiedUtcOffset];
    set.allocationPossible = (stream[kStreamFlags] & kFlagAllocationPossible) != 0;
    set.noFatChain = (stream[kStreamFlags] & kFlagNoFatChain) != 0;
    set.nameHash = ZelLE16(stream + kStreamNameHash);
    set.validDataLength = ZelLE64(stream + kStreamValidDataLength);
    set.firstCluster = ZelLE32(stream + kStreamFirstCluster);
    set.dataLength = ZelLE64(stream + kStreamDataLength);
    if (set.validDataLength > set.dataLength) {
        problem = "its valid data length is past its data length";
        return ExfatSetCheck::Broken;
    }
    for (size_t i = 0; i < nameEntries; ++i) {
        const uint8_t* entry = bytes + (2 + i) * kEntrySize;
        if ((entry[kEntryType] | kTypeInUse) != kTypeFileName) {
            problem = "entry " + std::to_string(2 + i) + " of the set is no file name entry";
            set.name.clear();
            return ExfatSetCheck::Broken;
        }
        for (size_t u = 0; u < kNameUnitsPerEntry && set.name.size() < set.nameLength; ++u)
            set.name.push_back(static_cast<char16_t>(ZelLE16(entry + kNameUnits + 2 * u)));
    }
    return ExfatSetCheck::Set;
}
