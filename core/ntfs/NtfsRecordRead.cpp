// Reading MFT records: a record by its number through libntfs-3g, the
// value of a non-resident attribute from its runs, and the extension
// records an attribute list names.
#include "ntfs/NtfsUndeleteWrapper.h"

#include "jexcommon/ZelText.h"
#include "ntfs/NtfsLayout.h"
#include "platform/DiagLog.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unordered_set>

using namespace ntfslayout;

CNtfsUndeleteWrapper::RecordRead CNtfsUndeleteWrapper::ReadFileRecord(uint64_t record, std::vector<uint8_t>& bytes,
                                                                       CNtfsRecordFields& fields, uint8_t* readWithOthers)
{
    RecordRead read = ReadRecord(record, bytes, fields, readWithOthers);
    if (read == RecordRead::Decoded && fields.hasAttributeList && fields.baseReference == 0)
        GatherExtensions(record, bytes, fields);
    return read;
}

bool CNtfsUndeleteWrapper::ReadRunsValue(const CNtfsDataFields& attribute, uint64_t limit, std::vector<uint8_t>& value)
{
    const uint64_t clusterSize = m_pVolume->cluster_size;
    const uint64_t size = std::min(attribute.dataSize, limit);
    value.assign(static_cast<size_t>(size), 0);
    uint64_t done = 0;
    for (const CNtfsRun& run : attribute.runs) {
        if (done >= size)
            break;
        if (run.lcn < 0 || run.lcn >= m_pVolume->nr_clusters)
            return false;
        // A run's length comes from the volume: no product of it is taken
        // before it is bounded by what is left to read.
        const uint64_t left = size - done;
        const uint64_t bytes =
            static_cast<uint64_t>(run.length) > left / clusterSize ? left : static_cast<uint64_t>(run.length) * clusterSize;
        CZelRead read = m_pDevice->Source().ReadAt(static_cast<uint64_t>(run.lcn) * clusterSize, value.data() + done,
                                                   static_cast<size_t>(bytes));
        if (!read.Complete())
            return false;
        done += bytes;
    }
    return done >= size;
}

void CNtfsUndeleteWrapper::GatherExtensions(uint64_t record, const std::vector<uint8_t>& bytes,
                                            CNtfsRecordFields& fields)
{
    // The list itself: in the record, or in clusters of its own.
    std::vector<uint8_t> value;
    const CNtfsDataFields& list = fields.attributeList;
    if (list.resident) {
        if (list.valueOffset > bytes.size() || list.valueLength > bytes.size() - list.valueOffset)
            return;
        value.assign(bytes.begin() + static_cast<std::ptrdiff_t>(list.valueOffset),
                     bytes.begin() + static_cast<std::ptrdiff_t>(list.valueOffset + list.valueLength));
    } else if (!list.runsDecoded || !ReadRunsValue(list, 1 << 20, value)) {
        ZelLogFormat("Record %llu: its attribute list cannot be read.", static_cast<unsigned long long>(record));
        return;
    }
    std::vector<CNtfsAttributeListEntry> entries;
    ZelDecodeAttributeList(value.data(), value.size(), entries);

    // The unnamed data's extents, from this record and the others.
    std::vector<CNtfsDataFields> extents;
    for (auto it = fields.dataStreams.begin(); it != fields.dataStreams.end();) {
        if (it->name.empty() && !it->resident) {
            extents.push_back(std::move(*it));
            it = fields.dataStreams.erase(it);
        } else {
            ++it;
        }
    }
    bool missing = false;
    std::unordered_set<uint64_t> read;
    std::vector<uint8_t> other;
    for (const CNtfsAttributeListEntry& entry : entries) {
        const uint64_t holder = RecordOf(entry.reference);
        const bool wanted = entry.type == kTypeFileName || (entry.type == kTypeData && entry.name.empty());
        if (!wanted || holder == record || read.size() >= 4096 || !read.insert(holder).second)
            continue;
        CNtfsRecordFields part;
        if (ReadRecord(holder, other, part) != RecordRead::Decoded || RecordOf(part.baseReference) != record) {
            // The record holds something else now.
            missing = missing || entry.type == kTypeData;
            continue;
        }
        // It must still be this file's: the base's number then, which
        // freeing raised by one.
        const uint16_t then = static_cast<uint16_t>(part.baseReference >> 48);
        if (then != 0 && then != fields.sequence && static_cast<uint16_t>(then + 1) != fields.sequence) {
            missing = missing || entry.type == kTypeData;
            continue;
        }
        for (CNtfsFileNameFields& name : part.fileNames)
            fields.fileNames.push_back(std::move(name));
        for (CNtfsDataFields& data : part.dataStreams)
            if (data.name.empty() && !data.resident)
                extents.push_back(std::move(data));
    }
    if (extents.empty())
        return;
    // The extents in the order of their clusters in the file; what lies
    // between them that no extent gives is a hole.
    std::sort(extents.begin(), extents.end(), [](const CNtfsDataFields& a, const CNtfsDataFields& b) {
        int64_t av = a.runs.empty() ? INT64_MAX : a.runs.front().vcn;
        int64_t bv = b.runs.empty() ? INT64_MAX : b.runs.front().vcn;
        return av < bv;
    });
    CNtfsDataFields whole = extents.front();
    whole.runs.clear();
    int64_t next = 0;
    for (const CNtfsDataFields& extent : extents) {
        if (!extent.runsDecoded) {
            missing = true;
            continue;
        }
        if (!extent.runs.empty() && extent.runs.front().vcn == 0) {
            whole.allocatedSize = extent.allocatedSize;
            whole.dataSize = extent.dataSize;
            whole.initializedSize = extent.initializedSize;
            whole.compressed = extent.compressed;
            whole.compressionUnit = extent.compressionUnit;
            whole.encrypted = extent.encrypted;
        }
        for (const CNtfsRun& run : extent.runs) {
            if (run.vcn < next)
                continue;
            if (run.vcn > next) {
                whole.runs.push_back({next, -1, run.vcn - next});
                missing = true;
            }
            whole.runs.push_back(run);
            next = run.vcn + run.length;
        }
    }
    whole.runsDecoded = true;
    whole.incomplete = missing;
    fields.dataStreams.insert(fields.dataStreams.begin(), std::move(whole));
}

CNtfsUndeleteWrapper::RecordRead CNtfsUndeleteWrapper::ReadRecord(uint64_t record, std::vector<uint8_t>& bytes,
                                                                   CNtfsRecordFields& fields, uint8_t* readWithOthers)
{
    const u32 size = m_pVolume->mft_record_size;
    if (readWithOthers != nullptr) {
        // What reading the record alone does: the update sequence is
        // checked and its sectors' ends put back.
        if (ntfs_mst_post_read_fixup_warn(reinterpret_cast<NTFS_RECORD*>(readWithOthers), size, FALSE) != 0)
            return RecordRead::NotARecord;
        bytes.assign(readWithOthers, readWithOthers + size);
    } else {
        if (record > (static_cast<uint64_t>(INT64_MAX) >> m_pVolume->mft_record_size_bits))
            return RecordRead::NotARecord;
        bytes.resize(size);
        s64 position = static_cast<s64>(record << m_pVolume->mft_record_size_bits);
        uint64_t failedBefore = m_pDevice->FailedReads();
        if (ntfs_attr_mst_pread(m_pVolume->mft_na, position, 1, size, bytes.data()) != 1)
            return m_pDevice->FailedReads() != failedBefore ? RecordRead::Unreadable : RecordRead::NotARecord;
    }
    return ZelDecodeMftRecord(bytes.data(), bytes.size(), fields) ? RecordRead::Decoded : RecordRead::NotARecord;
}
