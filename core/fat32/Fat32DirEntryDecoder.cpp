#include "fat32/Fat32DirEntryDecoder.h"

#include "jexcommon/ByteOrder.h"
#include "fat32/Fat32Layout.h"

using namespace fat32layout;

namespace {

std::string TrimmedField(const uint8_t* bytes, size_t size)
{
    std::string text(reinterpret_cast<const char*>(bytes), size);
    // A zero byte ends the text, as it would end the stored string.
    size_t zero = text.find('\0');
    if (zero != std::string::npos)
        text.resize(zero);
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

} // namespace

FatEntryType ZelFatEntryType(uint8_t attributes)
{
    switch (attributes & kTypeMask) {
    case 0x00:
        return FatEntryFile;
    case 0x10:
        return FatEntryDirectory;
    case 0x08:
        return FatEntryVolumeLabel;
    default:
        return FatEntryOther;
    }
}

bool ZelDecodeFatDirEntry(const uint8_t* bytes, size_t length, CFatDirEntryFields& entry)
{
    if (bytes == nullptr || length < kEntrySize)
        return false;
    entry.firstByte = bytes[0];
    entry.attributes = bytes[kEntryAttributes];
    entry.caseByte = bytes[kEntryCaseByte];
    entry.baseName = TrimmedField(bytes + kEntryBaseName, kEntryBaseNameSize);
    entry.extension = TrimmedField(bytes + kEntryExtension, kEntryExtensionSize);
    entry.firstCluster = (static_cast<uint32_t>(ZelLE16(bytes + kEntryClusterHigh)) << 16) |
                         ZelLE16(bytes + kEntryClusterLow);
    entry.fileSize = ZelLE32(bytes + kEntryFileSize);

    const size_t runs[3][2] = {{kLongNameRun1, 5}, {kLongNameRun2, 6}, {kLongNameRun3, 2}};
    size_t unit = 0;
    bool ended = false;
    for (const auto& run : runs) {
        for (size_t i = 0; i < run[1]; ++i, ++unit) {
            char16_t value = static_cast<char16_t>(ZelLE16(bytes + run[0] + 2 * i));
            if (value == 0)
                ended = true;
            entry.nameUnits[unit] = ended ? u'\0' : value;
        }
    }
    return true;
}

bool CFatDirEntryFields::IsEndOfDirectory() const
{
    return firstByte == kEndOfDirectory;
}

bool CFatDirEntryFields::IsDeleted() const
{
    return firstByte == kDeletedMark;
}

bool CFatDirEntryFields::IsLongNameEntry() const
{
    return (attributes & kLongNameMask) == kLongNameAttributes;
}

FatEntryType CFatDirEntryFields::Type() const
{
    return ZelFatEntryType(attributes);
}

std::string CFatDirEntryFields::ShortName() const
{
    // As written: the case flags make a part small letters again.
    auto lower = [](std::string text) {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return text;
    };
    std::string base = (caseByte & kCaseLowerBase) != 0 ? lower(baseName) : baseName;
    // The deletion mark took the first character for good: it is not made
    // up from the mark's byte.
    if (IsDeleted() && !base.empty())
        base[0] = kLostFirstCharacter;
    if (Type() == FatEntryFile)
        return base + "." + ((caseByte & kCaseLowerExtension) != 0 ? lower(extension) : extension);
    return base;
}

std::u16string CFatDirEntryFields::NameUnitsText() const
{
    size_t length = 0;
    while (length < kLongNameUnits && nameUnits[length] != 0)
        ++length;
    return std::u16string(nameUnits, length);
}
