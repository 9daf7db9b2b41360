#include "ntfs/NtfsIndexDecoder.h"

#include "jexcommon/ByteOrder.h"
#include "ntfs/NtfsLayout.h"

#include <cstring>

using namespace ntfslayout;

namespace {

constexpr size_t kSector = 512;

// The entry at position of bytes, decoded when it is whole and its key is
// a name: true with entry filled and length its size.
bool DecodeEntry(const uint8_t* bytes, size_t end, size_t position, CNtfsIndexEntry& entry, size_t& length)
{
    if (position > end || end - position < kEntryKey + kFnName)
        return false;
    const uint8_t* e = bytes + position;
    length = ZelLE16(e + kEntryLength);
    const size_t keyLength = ZelLE16(e + kEntryKeyLength);
    const uint16_t flags = ZelLE16(e + kEntryFlags);
    const uint8_t* key = e + kEntryKey;
    const size_t units = key[kFnNameLength];
    // The key is exactly a name, the entry rounded up to 8 bytes (and a
    // subnode's number after it), all inside the node.
    if ((flags & ~(kEntryHasSubnode | kEntryLast)) != 0 || units == 0 || keyLength != kFnName + 2 * units ||
        key[kFnNameSpace] > kNameSpaceWin32AndDos || length % 8 != 0 || length < kEntryKey + keyLength ||
        length > kEntryKey + keyLength + 7 + ((flags & kEntryHasSubnode) != 0 ? 8 : 0) || length > end - position)
        return false;
    entry.reference = ZelLE64(e + kEntryReference);
    entry.parentReference = ZelLE64(key + kFnParentReference);
    entry.fileAttributes = ZelLE32(key + kFnFlags);
    entry.nameSpace = key[kFnNameSpace];
    entry.name.resize(units);
    for (size_t i = 0; i < units; ++i) {
        entry.name[i] = static_cast<char16_t>(ZelLE16(key + kFnName + 2 * i));
        if (entry.name[i] == 0 || entry.name[i] == u'/')
            return false;
    }
    return RecordOf(entry.reference) != 0;
}

} // namespace

void ZelDecodeIndexNode(const uint8_t* bytes, size_t length, size_t header, uint64_t folderRecord,
                        std::vector<CNtfsIndexEntry>& entries)
{
    if (header > length || length - header < kNodeHeaderSize)
        return;
    const size_t first = header + ZelLE32(bytes + header + kNodeEntriesOffset);
    size_t used = header + ZelLE32(bytes + header + kNodeUsed);
    size_t allocated = header + ZelLE32(bytes + header + kNodeAllocated);
    if (allocated > length || allocated < header)
        allocated = length;
    if (used > allocated || used < header)
        used = allocated;
    // The entries in use, one after the other to the last.
    size_t position = first;
    while (position >= header + kNodeHeaderSize && position + kEntryKey <= used) {
        const size_t entryLength = ZelLE16(bytes + position + kEntryLength);
        const uint16_t flags = ZelLE16(bytes + position + kEntryFlags);
        if (entryLength < kEntryKey || entryLength > used - position)
            break;
        CNtfsIndexEntry entry;
        size_t decoded = 0;
        if ((flags & kEntryLast) == 0 && DecodeEntry(bytes, used, position, entry, decoded))
            entries.push_back(std::move(entry));
        if ((flags & kEntryLast) != 0)
            break;
        position += entryLength;
    }
    ZelFindStaleIndexEntries(bytes, used, allocated, folderRecord, entries);
}

void ZelFindStaleIndexEntries(const uint8_t* bytes, size_t begin, size_t end, uint64_t folderRecord,
                              std::vector<CNtfsIndexEntry>& entries)
{
    // Entries that moved when others were removed leave whole copies of
    // themselves behind, at 8-byte steps. Only those naming this folder as
    // their parent are taken; anything else there is chance.
    for (size_t position = (begin + 7) / 8 * 8; position < end && end - position >= kEntryKey + kFnName;
         position += 8) {
        CNtfsIndexEntry entry;
        size_t decoded = 0;
        if (DecodeEntry(bytes, end, position, entry, decoded) && RecordOf(entry.parentReference) == folderRecord) {
            entry.stale = true;
            entries.push_back(std::move(entry));
        }
    }
}

bool ZelDecodeIndexBlock(uint8_t* bytes, size_t size, uint64_t folderRecord, std::vector<CNtfsIndexEntry>& entries)
{
    if (size < kIndxNode + kNodeHeaderSize || size % kSector != 0 || std::memcmp(bytes, "INDX", 4) != 0)
        return false;
    // The last two bytes of each sector were replaced by the update
    // sequence number; the array keeps what they were.
    const size_t array = ZelLE16(bytes + kIndxUpdateSequence);
    const size_t count = ZelLE16(bytes + kIndxUpdateCount);
    if (count != size / kSector + 1 || array < kIndxNode + kNodeHeaderSize || array > size || 2 * count > size - array)
        return false;
    for (size_t i = 1; i < count; ++i) {
        uint8_t* end = bytes + i * kSector - 2;
        if (std::memcmp(end, bytes + array, 2) != 0)
            return false;
        std::memcpy(end, bytes + array + 2 * i, 2);
    }
    ZelDecodeIndexNode(bytes, size, kIndxNode, folderRecord, entries);
    return true;
}

bool ZelDecodeIndexRoot(const uint8_t* value, size_t length, uint64_t folderRecord, uint32_t& blockSize,
                        std::vector<CNtfsIndexEntry>& entries)
{
    if (length < kIrNode + kNodeHeaderSize)
        return false;
    blockSize = ZelLE32(value + kIrBlockSize);
    ZelDecodeIndexNode(value, length, kIrNode, folderRecord, entries);
    return true;
}
