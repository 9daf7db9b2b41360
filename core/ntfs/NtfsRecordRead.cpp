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
#include <iterator>
#include <map>
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

namespace {

// What the extents of one attribute are gathered under: its type and name.
using ExtentKey = std::pair<uint32_t, std::u16string>;

// The attributes whose extents are gathered: data streams, and a folder's
// index blocks.
bool Gathered(uint32_t type, const std::u16string& name)
{
    return type == kTypeData || (type == kTypeIndexAllocation && name == u"$I30");
}

// An extent of an attribute: its runs from some VCN on, from a record the
// attribute list names, or found by the scan naming the file as its base.
struct Extent {
    CNtfsDataFields fields;
    bool found = false;
};

int64_t FirstVcn(const Extent& extent)
{
    return extent.fields.runs.empty() ? INT64_MAX : extent.fields.runs.front().vcn;
}

// One attribute from its extents: the runs in the order of the file. The
// extents the list names are laid down first; those the scan found fill
// only what they leave uncovered (a record freed earlier may hold runs the
// file moved since). What no extent gives is a hole; incomplete when such
// a hole or an undecodable extent the list names is met, or missing says
// an extent was lost.
CNtfsDataFields JoinExtents(std::vector<Extent>& extents, bool missing)
{
    std::stable_sort(extents.begin(), extents.end(), [](const Extent& a, const Extent& b) {
        return FirstVcn(a) != FirstVcn(b) ? FirstVcn(a) < FirstVcn(b) : (!a.found && b.found);
    });
    // The sizes come from the extent that begins the attribute.
    const CNtfsDataFields* head = &extents.front().fields;
    for (const Extent& extent : extents)
        if (extent.fields.runsDecoded && FirstVcn(extent) == 0) {
            head = &extent.fields;
            break;
        }
    CNtfsDataFields whole = *head;
    whole.runs.clear();
    std::vector<CNtfsRun> runs, pieces;
    int64_t next = 0;
    for (const Extent& extent : extents) {
        if (extent.found)
            continue;
        if (!extent.fields.runsDecoded) {
            missing = true;
            continue;
        }
        for (const CNtfsRun& run : extent.fields.runs)
            if (run.vcn >= next) {
                runs.push_back(run);
                next = run.vcn + run.length;
            }
    }
    // The scan's extents, cut to the stretches no run above covers.
    for (const Extent& extent : extents) {
        if (!extent.found || !extent.fields.runsDecoded)
            continue;
        for (const CNtfsRun& run : extent.fields.runs) {
            int64_t from = run.vcn;
            const int64_t to = run.vcn + run.length;
            auto it = std::upper_bound(runs.begin(), runs.end(), from,
                                       [](int64_t vcn, const CNtfsRun& r) { return vcn < r.vcn + r.length; });
            for (; from < to; ++it) {
                const int64_t coveredFrom = it == runs.end() ? to : std::min(it->vcn, to);
                if (coveredFrom > from)
                    pieces.push_back({from, run.lcn < 0 ? -1 : run.lcn + (from - run.vcn), coveredFrom - from});
                if (it == runs.end())
                    break;
                from = std::max(from, it->vcn + it->length);
            }
        }
    }
    runs.insert(runs.end(), pieces.begin(), pieces.end());
    std::stable_sort(runs.begin(), runs.end(), [](const CNtfsRun& a, const CNtfsRun& b) { return a.vcn < b.vcn; });
    next = 0;
    for (const CNtfsRun& run : runs) {
        if (run.vcn < next)
            continue;
        if (run.vcn > next) {
            whole.runs.push_back({next, -1, run.vcn - next});
            missing = true;
        }
        whole.runs.push_back(run);
        next = run.vcn + run.length;
    }
    whole.runsDecoded = true;
    whole.incomplete = missing;
    return whole;
}

} // namespace

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

    // The non-resident streams' and the index's extents, from this record
    // and the others, by attribute.
    std::map<ExtentKey, std::vector<Extent>> extents;
    std::map<ExtentKey, bool> missing;
    for (auto it = fields.dataStreams.begin(); it != fields.dataStreams.end();) {
        if (!it->resident) {
            extents[{kTypeData, it->name}].push_back({std::move(*it), false});
            it = fields.dataStreams.erase(it);
        } else {
            ++it;
        }
    }
    if (fields.hasIndexAllocation) {
        extents[{kTypeIndexAllocation, u"$I30"}].push_back({std::move(fields.indexAllocation), false});
        fields.hasIndexAllocation = false;
    }
    // The records the list names, then, for a free record, the free
    // extension records the scan found naming it as their base: deleting a
    // record can cut its list short.
    std::vector<std::pair<uint64_t, ExtentKey>> holders;
    for (const CNtfsAttributeListEntry& entry : entries) {
        const bool gathered = Gathered(entry.type, entry.name);
        if (gathered)
            extents[{entry.type, entry.name}];
        if (gathered || entry.type == kTypeFileName)
            holders.emplace_back(RecordOf(entry.reference), ExtentKey{entry.type, entry.name});
    }
    const size_t named = holders.size();
    auto known = fields.InUse() ? m_Extensions.end() : m_Extensions.find(record);
    if (known != m_Extensions.end())
        for (uint64_t extension : known->second)
            holders.emplace_back(extension, ExtentKey{0, u""});
    std::unordered_set<uint64_t> read;
    std::vector<uint8_t> other;
    for (size_t h = 0; h < holders.size(); ++h) {
        const auto& holder = holders[h];
        const bool found = h >= named;
        if (holder.first == record || read.size() >= 4096 || !read.insert(holder.first).second)
            continue;
        CNtfsRecordFields part;
        // The record must still be this file's: naming it as its base, with
        // the base's number then, which freeing raised by one. One the list
        // does not name must have been this very file's when it was freed.
        const bool ours =
            ReadRecord(holder.first, other, part) == RecordRead::Decoded && RecordOf(part.baseReference) == record;
        const uint16_t then = static_cast<uint16_t>(part.baseReference >> 48);
        const bool sameFile = found ? static_cast<uint16_t>(then + 1) == fields.sequence
                                    : then == 0 || then == fields.sequence || static_cast<uint16_t>(then + 1) == fields.sequence;
        if (!ours || !sameFile) {
            if (Gathered(holder.second.first, holder.second.second))
                missing[holder.second] = true;
            continue;
        }
        for (CNtfsFileNameFields& name : part.fileNames)
            fields.fileNames.push_back(std::move(name));
        // A resident value lies in the other record's bytes, which are not
        // kept: only runs are taken from there.
        for (CNtfsDataFields& data : part.dataStreams)
            if (!data.resident)
                extents[{kTypeData, data.name}].push_back({std::move(data), found});
        if (part.hasIndexAllocation)
            extents[{kTypeIndexAllocation, u"$I30"}].push_back({std::move(part.indexAllocation), found});
        if (part.hasIndexRoot && !found)
            fields.hasIndexRoot = true;
    }
    // The unnamed stream first, as a record without a list holds it.
    std::vector<CNtfsDataFields> joined;
    for (auto& attribute : extents) {
        if (attribute.second.empty())
            continue;
        CNtfsDataFields whole = JoinExtents(attribute.second, missing[attribute.first]);
        if (attribute.first.first == kTypeIndexAllocation) {
            fields.hasIndexAllocation = true;
            fields.indexAllocation = std::move(whole);
        } else {
            whole.name = attribute.first.second;
            joined.push_back(std::move(whole));
        }
    }
    fields.dataStreams.insert(fields.dataStreams.begin(), std::make_move_iterator(joined.begin()),
                              std::make_move_iterator(joined.end()));
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
