#include "fat32/Fat32EntryGroup.h"

#include "fat32/Fat32Layout.h"

#include <vector>

using namespace fat32layout;

namespace {

// The entry at index, false past the end of the bytes.
bool EntryAt(const uint8_t* bytes, size_t size, size_t index, CFatDirEntryFields& entry)
{
    size_t count = bytes == nullptr ? 0 : size / kEntrySize;
    return index < count && ZelDecodeFatDirEntry(bytes + index * kEntrySize, kEntrySize, entry);
}

void TakeShortEntry(CFatEntryGroup& group, const CFatDirEntryFields& entry)
{
    group.hasShortEntry = true;
    group.shortEntry = entry;
    group.attributes = entry.attributes;
    group.type = entry.Type();
}

} // namespace

FatGroupParse ZelParseFatEntryGroup(const uint8_t* bytes, size_t size, CFatEntryGroup& group)
{
    group = CFatEntryGroup();
    CFatDirEntryFields entry;
    if (!EntryAt(bytes, size, 0, entry))
        return FatGroupParse::NeedMore;
    group.deleted = entry.IsDeleted();
    if (entry.IsEndOfDirectory())
        return FatGroupParse::End;

    // The name pieces of the long-name entries, last piece first.
    std::vector<std::u16string> pieces;
    auto addPiece = [&pieces](const CFatDirEntryFields& e) {
        if (pieces.size() < kFatMaxLongNameEntries)
            pieces.push_back(e.NameUnitsText());
    };
    if (entry.IsLongNameEntry()) {
        if (entry.attributes != kLongNameAttributes) {
            group.attributes = entry.attributes;
            group.type = entry.Type();
        }
        addPiece(entry);
    } else {
        // A first cluster past the last valid one ends the directory here.
        if (entry.firstCluster > kLastValidCluster)
            return FatGroupParse::End;
        TakeShortEntry(group, entry);
    }
    size_t used = 1;

    // Long-name entries are followed by more of the name and then the short
    // entry of the group.
    if (entry.attributes == kLongNameAttributes) {
        CFatDirEntryFields last = entry;
        while (last.caseByte == 0) {
            CFatDirEntryFields next;
            if (!EntryAt(bytes, size, used, next))
                return FatGroupParse::NeedMore;
            if (next.IsEndOfDirectory())
                return FatGroupParse::End;
            // Leftover entries of another group (a deleted name in front of
            // a live entry, or the reverse): the group ends before this
            // entry, which starts the next one.
            if (next.IsDeleted() != group.deleted)
                break;
            if (next.attributes == kLongNameAttributes) {
                addPiece(next);
            } else {
                if (next.firstCluster > kLastValidCluster)
                    return FatGroupParse::End;
                TakeShortEntry(group, next);
            }
            ++used;
            last = next;
            if (!next.IsLongNameEntry())
                break;
        }
    }
    for (auto it = pieces.rbegin(); it != pieces.rend(); ++it)
        group.longName += *it;
    group.entryCount = used;
    return FatGroupParse::Group;
}
