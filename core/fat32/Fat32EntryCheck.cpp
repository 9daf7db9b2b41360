#include "fat32/Fat32EntryCheck.h"

#include "fat32/Fat32Layout.h"
#include "jexcommon/ByteOrder.h"

#include <cstring>

using namespace fat32layout;

namespace {

// Offsets of a short entry's fields that the checks read besides the
// layout's.
constexpr size_t kEntryCreateTenths = 13;  // 1 byte, 0..199
constexpr size_t kEntryCreateTime = 14;    // 2 bytes
constexpr size_t kEntryCreateDate = 16;    // 2 bytes
constexpr size_t kEntryAccessDate = 18;    // 2 bytes
constexpr size_t kEntryWriteTime = 22;     // 2 bytes
constexpr size_t kEntryWriteDate = 24;     // 2 bytes
// Long-name entry.
constexpr size_t kLongNameType = 12;
constexpr size_t kLongNameCluster = 26;    // 2 bytes, always 0
constexpr uint8_t kLastLongNamePiece = 0x40;

// A character an 8.3 name may hold: no lower-case letters, no control
// characters, none of the characters FAT forbids.
bool ShortNameCharacter(uint8_t c)
{
    if (c < 0x20 || (c >= 'a' && c <= 'z'))
        return false;
    return std::strchr("\"*+,./:;<=>?[\\]|", c) == nullptr;
}

// 0 (not set) or a date with a month of 1..12 and a day of 1..31.
bool ValidDate(uint16_t date)
{
    if (date == 0)
        return true;
    unsigned day = date & 0x1F, month = (date >> 5) & 0x0F;
    return day >= 1 && month >= 1 && month <= 12;
}

bool ValidTime(uint16_t time)
{
    unsigned halfSeconds = time & 0x1F, minutes = (time >> 5) & 0x3F, hours = time >> 11;
    return halfSeconds <= 29 && minutes <= 59 && hours <= 23;
}

bool DotEntry(const uint8_t* entry, int dots)
{
    static const char dot[11] = {'.', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    static const char dotDot[11] = {'.', '.', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    return std::memcmp(entry, dots == 1 ? dot : dotDot, 11) == 0 && (entry[kEntryAttributes] & 0x10) != 0;
}

uint32_t FirstCluster(const uint8_t* entry, const CFatEntryLimits& limits)
{
    const uint32_t high = limits.clusterHighWord ? ZelLE16(entry + kEntryClusterHigh) : 0;
    return (high << 16) | ZelLE16(entry + kEntryClusterLow);
}

} // namespace

bool ZelIsPlausibleShortEntry(const uint8_t* entry, const CFatEntryLimits& limits)
{
    const uint8_t attributes = entry[kEntryAttributes];
    // Reserved attribute bits, and a folder that is also a volume label.
    if ((attributes & 0xC0) != 0 || (attributes & 0x3F) == kLongNameAttributes || (attributes & kTypeMask) == kTypeMask)
        return false;
    // Only the two lower-case flags live in the reserved byte.
    if ((entry[kEntryCaseByte] & ~0x18) != 0 || entry[kEntryCreateTenths] > 199)
        return false;
    if (!ValidTime(ZelLE16(entry + kEntryCreateTime)) || !ValidTime(ZelLE16(entry + kEntryWriteTime)) ||
        !ValidDate(ZelLE16(entry + kEntryCreateDate)) || !ValidDate(ZelLE16(entry + kEntryAccessDate)) ||
        !ValidDate(ZelLE16(entry + kEntryWriteDate)))
        return false;
    const uint32_t cluster = FirstCluster(entry, limits);
    const uint32_t size = ZelLE32(entry + kEntryFileSize);
    const bool folder = (attributes & kTypeMask) == 0x10;
    const bool label = (attributes & kTypeMask) == 0x08;
    if (DotEntry(entry, 1) || DotEntry(entry, 2))
        return size == 0 && (cluster == 0 || (cluster >= 2 && cluster <= limits.lastCluster));
    // The name: its first character is the deleted mark, 0x05 (a name that
    // starts with 0xE5) or a name character other than a space.
    const uint8_t first = entry[0];
    if (first != kDeletedMark && first != 0x05 && (first == ' ' || !ShortNameCharacter(first)))
        return false;
    for (size_t i = 1; i < kEntryBaseNameSize + kEntryExtensionSize; ++i)
        if (!ShortNameCharacter(entry[i]))
            return false;
    if (label)
        return cluster == 0 && size == 0;
    if (cluster == 0)
        return size == 0 && !folder;
    if (cluster < 2 || cluster > limits.lastCluster)
        return false;
    return folder ? size == 0 : size <= limits.dataBytes;
}

bool ZelIsPlausibleLongNameEntry(const uint8_t* entry)
{
    if ((entry[kEntryAttributes] & 0x3F) != kLongNameAttributes || entry[kLongNameType] != 0 ||
        ZelLE16(entry + kLongNameCluster) != 0)
        return false;
    const uint8_t order = entry[0];
    if (order == kDeletedMark)
        return true;
    const uint8_t piece = order & ~kLastLongNamePiece;
    return piece >= 1 && piece <= 20;
}

CFatClusterLook ZelLookAtDirectoryCluster(const uint8_t* bytes, size_t size, uint32_t cluster,
                                          const CFatEntryLimits& limits)
{
    CFatClusterLook result;
    const size_t slots = size / kEntrySize;
    bool ended = false;
    for (size_t i = 0; i < slots; ++i) {
        const uint8_t* entry = bytes + i * kEntrySize;
        if (entry[0] == kEndOfDirectory) {
            ended = true;
            continue;
        }
        // After the end marker nothing is in use.
        if (ended)
            return CFatClusterLook();
        if ((entry[kEntryAttributes] & 0x3F) == kLongNameAttributes) {
            if (!ZelIsPlausibleLongNameEntry(entry))
                return CFatClusterLook();
            continue;
        }
        if (!ZelIsPlausibleShortEntry(entry, limits))
            return CFatClusterLook();
        // "." naming this cluster and ".." after it start a folder; they
        // stand nowhere else.
        if ((DotEntry(entry, 1) && (i != 0 || FirstCluster(entry, limits) != cluster)) || (DotEntry(entry, 2) && i != 1) ||
            (i == 1 && DotEntry(bytes, 1) && !DotEntry(entry, 2)))
            return CFatClusterLook();
        ++result.entries;
    }
    if (result.entries == 0)
        return CFatClusterLook();
    result.look = FatClusterLook::FolderPart;
    // "." names the cluster itself; ".." follows it.
    if (slots >= 2 && DotEntry(bytes, 1) && DotEntry(bytes + kEntrySize, 2) && FirstCluster(bytes, limits) == cluster) {
        result.look = FatClusterLook::FolderStart;
        result.parentCluster = FirstCluster(bytes + kEntrySize, limits);
    }
    return result;
}
