#include "ntfs/NtfsRecordDecoder.h"

#include "jexcommon/ByteOrder.h"
#include "ntfs/NtfsLayout.h"

#include <cstring>

using namespace ntfslayout;

namespace {

std::u16string Utf16At(const uint8_t* bytes, size_t units)
{
    std::u16string text(units, u'\0');
    for (size_t i = 0; i < units; ++i)
        text[i] = static_cast<char16_t>(ZelLE16(bytes + 2 * i));
    return text;
}

// A signed little-endian value of 1 to 8 bytes.
int64_t SignedLE(const uint8_t* bytes, size_t count)
{
    uint64_t value = 0;
    for (size_t i = 0; i < count; ++i)
        value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
    if (count < 8 && (bytes[count - 1] & 0x80) != 0)
        value |= ~0ull << (8 * count);
    return static_cast<int64_t>(value);
}

// One attribute of the record: its bytes, already checked to lie inside it.
struct AttributeView {
    const uint8_t* bytes;
    size_t length;
    uint32_t type;
    bool nonResident;
};

// The value of a resident attribute; false when it does not fit.
bool ResidentValue(const AttributeView& a, size_t& offset, size_t& length)
{
    if (a.nonResident || a.length < kAttrResidentHeaderSize)
        return false;
    length = ZelLE32(a.bytes + kAttrValueLength);
    offset = ZelLE16(a.bytes + kAttrValueOffset);
    return offset <= a.length && length <= a.length - offset;
}

void DecodeFileName(const AttributeView& a, CNtfsRecordFields& record)
{
    size_t offset = 0, length = 0;
    if (!ResidentValue(a, offset, length) || length < kFnName)
        return;
    const uint8_t* v = a.bytes + offset;
    size_t units = v[kFnNameLength];
    if (units == 0 || length < kFnName + 2 * units)
        return;
    CNtfsFileNameFields name;
    name.parentReference = ZelLE64(v + kFnParentReference);
    name.allocatedSize = ZelLE64(v + kFnAllocatedSize);
    name.dataSize = ZelLE64(v + kFnDataSize);
    name.nameSpace = v[kFnNameSpace];
    name.name = Utf16At(v + kFnName, units);
    record.fileNames.push_back(std::move(name));
}

// The attribute is named "$I30": the index of a folder's names.
bool IsNamesIndex(const AttributeView& a)
{
    const size_t units = a.bytes[kAttrNameLength];
    const size_t nameOffset = ZelLE16(a.bytes + kAttrNameOffset);
    return units == 4 && nameOffset <= a.length && 8 <= a.length - nameOffset &&
           Utf16At(a.bytes + nameOffset, units) == u"$I30";
}

void DecodeData(const AttributeView& a, CNtfsRecordFields& record)
{
    CNtfsDataFields data;
    const uint16_t flags = ZelLE16(a.bytes + kAttrFlags);
    data.compressed = (flags & kAttrCompressed) != 0;
    data.encrypted = (flags & kAttrEncrypted) != 0;
    size_t nameUnits = a.bytes[kAttrNameLength];
    size_t nameOffset = ZelLE16(a.bytes + kAttrNameOffset);
    if (nameUnits != 0) {
        if (nameOffset > a.length || 2 * nameUnits > a.length - nameOffset)
            return;
        data.name = Utf16At(a.bytes + nameOffset, nameUnits);
    }
    if (!a.nonResident) {
        if (!ResidentValue(a, data.valueOffset, data.valueLength))
            return;
        data.resident = true;
        data.dataSize = data.initializedSize = data.allocatedSize = data.valueLength;
        // The offset is made relative to the record by the caller.
        record.dataStreams.push_back(std::move(data));
        return;
    }
    if (a.length < kAttrNonResidentHeaderSize)
        return;
    data.allocatedSize = ZelLE64(a.bytes + kAttrAllocatedSize);
    data.dataSize = ZelLE64(a.bytes + kAttrDataSize);
    data.initializedSize = ZelLE64(a.bytes + kAttrInitializedSize);
    data.compressionUnit = a.bytes[kAttrCompressionUnit];
    int64_t lowestVcn = static_cast<int64_t>(ZelLE64(a.bytes + kAttrLowestVcn));
    size_t pairs = ZelLE16(a.bytes + kAttrMappingPairsOffset);
    if (lowestVcn >= 0 && pairs >= kAttrNonResidentHeaderSize && pairs < a.length)
        data.runsDecoded = ZelDecodeMappingPairs(a.bytes + pairs, a.length - pairs, lowestVcn, data.runs);
    if (!data.runsDecoded)
        data.runs.clear();
    record.dataStreams.push_back(std::move(data));
}

} // namespace

bool CNtfsRecordFields::InUse() const
{
    return (flags & kRecordInUse) != 0;
}

bool ZelDecodeMappingPairs(const uint8_t* bytes, size_t length, int64_t lowestVcn, std::vector<CNtfsRun>& runs)
{
    int64_t vcn = lowestVcn;
    int64_t lcn = 0;
    size_t pos = 0;
    while (pos < length && bytes[pos] != 0) {
        size_t lengthBytes = bytes[pos] & 0x0F;
        size_t offsetBytes = bytes[pos] >> 4;
        if (lengthBytes == 0 || lengthBytes > 8 || offsetBytes > 8 || 1 + lengthBytes + offsetBytes > length - pos)
            return false;
        int64_t count = SignedLE(bytes + pos + 1, lengthBytes);
        if (count <= 0 || vcn > INT64_MAX - count)
            return false;
        CNtfsRun run;
        run.vcn = vcn;
        run.length = count;
        if (offsetBytes == 0) {
            run.lcn = -1;
        } else {
            int64_t delta = SignedLE(bytes + pos + 1 + lengthBytes, offsetBytes);
            if ((delta > 0 && lcn > INT64_MAX - delta) || (delta < 0 && lcn < INT64_MIN - delta))
                return false;
            lcn += delta;
            if (lcn < 0 || lcn > INT64_MAX - count)
                return false;
            run.lcn = lcn;
        }
        runs.push_back(run);
        vcn += count;
        pos += 1 + lengthBytes + offsetBytes;
    }
    return pos < length;
}

bool ZelDecodeMftRecord(const uint8_t* bytes, size_t length, CNtfsRecordFields& record)
{
    record = CNtfsRecordFields();
    if (bytes == nullptr || length < kRecordHeaderSize || std::memcmp(bytes + kRecordMagic, "FILE", 4) != 0)
        return false;
    record.flags = ZelLE16(bytes + kRecordFlags);
    record.sequence = ZelLE16(bytes + kRecordSequence);
    record.baseReference = ZelLE64(bytes + kRecordBaseReference);
    size_t inUse = ZelLE32(bytes + kRecordBytesInUse);
    size_t offset = ZelLE16(bytes + kRecordAttributesOffset);
    if (inUse > length)
        inUse = length;
    if (offset < kRecordHeaderSize || offset >= inUse)
        return false;

    // Each attribute is at least a header long, so the walk ends.
    while (offset + kAttrHeaderSize <= inUse) {
        uint32_t type = ZelLE32(bytes + offset + kAttrType);
        if (type == kTypeEnd)
            break;
        size_t attributeLength = ZelLE32(bytes + offset + kAttrLength);
        if (attributeLength < kAttrHeaderSize || attributeLength > inUse - offset)
            break;
        AttributeView a{bytes + offset, attributeLength, type, bytes[offset + kAttrNonResident] != 0};
        if (type == kTypeStandardInformation) {
            size_t valueOffset = 0, valueLength = 0;
            if (ResidentValue(a, valueOffset, valueLength) && valueLength >= kSiMinimumSize) {
                record.hasStandardInformation = true;
                record.dataChangeTime = static_cast<int64_t>(ZelLE64(a.bytes + valueOffset + kSiDataChangeTime));
                if (valueLength >= kSiFileAttributes + 4)
                    record.fileAttributes = ZelLE32(a.bytes + valueOffset + kSiFileAttributes);
            }
        } else if (type == kTypeFileName) {
            DecodeFileName(a, record);
        } else if (type == kTypeData) {
            size_t before = record.dataStreams.size();
            DecodeData(a, record);
            if (record.dataStreams.size() > before && record.dataStreams.back().resident)
                record.dataStreams.back().valueOffset += offset;
        } else if (type == kTypeIndexRoot) {
            record.hasIndexRoot = true;
            size_t valueOffset = 0, valueLength = 0;
            if (IsNamesIndex(a) && ResidentValue(a, valueOffset, valueLength)) {
                record.indexRootOffset = offset + valueOffset;
                record.indexRootLength = valueLength;
            }
        } else if (type == kTypeIndexAllocation && IsNamesIndex(a) && !record.hasIndexAllocation) {
            CNtfsRecordFields allocation;
            DecodeData(a, allocation);
            if (!allocation.dataStreams.empty() && !allocation.dataStreams.front().resident) {
                record.hasIndexAllocation = true;
                record.indexAllocation = std::move(allocation.dataStreams.front());
            }
        } else if (type == kTypeAttributeList && !record.hasAttributeList) {
            CNtfsRecordFields list;
            DecodeData(a, list);
            if (!list.dataStreams.empty()) {
                record.hasAttributeList = true;
                record.attributeList = list.dataStreams.front();
                if (record.attributeList.resident)
                    record.attributeList.valueOffset += offset;
            }
        }
        offset += attributeLength;
    }
    return true;
}

bool ZelDecodeAttributeList(const uint8_t* bytes, size_t length, std::vector<CNtfsAttributeListEntry>& entries)
{
    size_t pos = 0;
    // Each entry is at least a header long, so the walk ends.
    while (pos + kAlHeaderSize <= length) {
        const size_t entryLength = ZelLE16(bytes + pos + kAlLength);
        if (entryLength < kAlHeaderSize || entryLength > length - pos)
            return false;
        CNtfsAttributeListEntry entry;
        entry.type = ZelLE32(bytes + pos + kAlType);
        const size_t units = bytes[pos + kAlNameLength];
        const size_t nameOffset = bytes[pos + kAlNameOffset];
        if (units != 0) {
            if (nameOffset > entryLength || 2 * units > entryLength - nameOffset)
                return false;
            entry.name = Utf16At(bytes + pos + nameOffset, units);
        }
        entry.lowestVcn = static_cast<int64_t>(ZelLE64(bytes + pos + kAlLowestVcn));
        entry.reference = ZelLE64(bytes + pos + kAlReference);
        entries.push_back(std::move(entry));
        pos += entryLength;
    }
    return pos == length;
}
