// Records that lost their names, and the streams beside a file. libntfs-3g
// removes the $FILE_NAME of a record with an attribute list when it deletes
// it: a fragmented file, or a folder whose index spread over several
// records. Such a record still holds its data; its name and folder are
// looked for in the entries the folders' indexes kept, and where none is
// left it is listed by its record under "$OrphanFiles".
#include "ntfs/NtfsUndeleteWrapper.h"

#include "carve/CarveSniff.h"
#include "filters/EngineCheckFile.h"
#include "jexcommon/ZelText.h"
#include "ntfs/NtfsLayout.h"
#include "platform/DiagLog.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <unordered_set>

using namespace ntfslayout;

namespace {

// What the search of the folders' indexes may cost: folders read, and
// bytes of INDX blocks.
constexpr size_t kMaxIndexFolders = size_t(1) << 20;
constexpr uint64_t kMaxIndexBytes = uint64_t(1) << 30;
// Bytes of a nameless file its kind is told from.
constexpr size_t kSniffBytes = 4096;
// A name from the index is better than another when its name space is:
// the long name before the 8.3 alias.
int NameRank(uint8_t nameSpace)
{
    return nameSpace == kNameSpaceDos ? 1 : 0;
}

} // namespace

void CNtfsUndeleteWrapper::AddStreams(const ufile& file, const CNtfsRecordFields& fields,
                                      std::vector<std::unique_ptr<ufile>>& into)
{
    if (!ListStreams())
        return;
    for (const CNtfsDataFields& stream : fields.dataStreams) {
        std::wstring wide;
        if (stream.name.empty() || !ZelNtfsConvertName(stream.name, wide))
            continue;
        auto entry = std::make_unique<ufile>();
        entry->m_RecordNumber = file.m_RecordNumber;
        entry->m_RecordFlags = file.m_RecordFlags;
        entry->m_NtfsTime = file.m_NtfsTime;
        entry->m_OldRecordOffset = file.m_OldRecordOffset;
        entry->m_Live = file.m_Live;
        entry->m_ParentReference = file.m_ParentReference;
        entry->m_Size = stream.dataSize;
        entry->m_pStream = std::make_unique<std::string>(ZelWideToNarrow(wide));
        entry->m_HasName = true;
        entry->m_Name = file.m_Name + ":" + *entry->m_pStream;
        MeasureStream(*entry, fields, &stream);
        into.push_back(std::move(entry));
    }
}

void CNtfsUndeleteWrapper::KeepNameless(uint64_t record, const CNtfsRecordFields& fields,
                                        const std::vector<uint8_t>& bytes)
{
    // The system's own records, and records that hold nothing (never used,
    // or a part of another file's), are no lost files.
    if (record < kFirstUserRecord || fields.baseReference != 0)
        return;
    bool holds = fields.hasIndexRoot;
    for (const CNtfsDataFields& stream : fields.dataStreams)
        holds = holds || stream.dataSize != 0;
    if (!holds)
        return;
    Nameless kept;
    kept.file = NewRecord(record, fields);
    kept.file->m_Nameless = true;
    kept.sequence = fields.sequence;
    AddStreams(*kept.file, fields, kept.streams);
    // Its kind from its first bytes: in the record, or its first cluster.
    const CNtfsDataFields* data = ZelNtfsUnnamedStream(fields);
    if (!fields.hasIndexRoot && data != nullptr && data->dataSize != 0) {
        std::vector<uint8_t> first;
        if (data->resident && data->valueOffset <= bytes.size() && data->valueLength <= bytes.size() - data->valueOffset) {
            first.assign(bytes.begin() + static_cast<std::ptrdiff_t>(data->valueOffset),
                         bytes.begin() + static_cast<std::ptrdiff_t>(data->valueOffset + data->valueLength));
        } else if (!data->resident && data->runsDecoded && !data->runs.empty() && data->runs.front().lcn >= 0 &&
                   data->runs.front().lcn < m_pVolume->nr_clusters && !data->compressed && !data->encrypted) {
            first.resize(static_cast<size_t>(std::min<uint64_t>(
                {kSniffBytes, data->dataSize, static_cast<uint64_t>(data->runs.front().length) * m_pVolume->cluster_size})));
            CZelRead read = m_pDevice->Source().ReadAt(static_cast<uint64_t>(data->runs.front().lcn) * m_pVolume->cluster_size,
                                                       first.data(), first.size());
            first.resize(read.bytes);
        }
        kept.extension = ZelSniffExtension(first.data(), first.size());
    }
    m_Nameless.push_back(std::move(kept));
}

bool CNtfsUndeleteWrapper::ReadIndex(uint64_t folder, const CNtfsRecordFields& fields,
                                     const std::vector<uint8_t>& bytes, std::vector<CNtfsIndexEntry>& entries,
                                     uint64_t& budget)
{
    uint32_t blockSize = 0;
    if (fields.indexRootLength == 0 || fields.indexRootOffset > bytes.size() ||
        fields.indexRootLength > bytes.size() - fields.indexRootOffset ||
        !ZelDecodeIndexRoot(bytes.data() + fields.indexRootOffset, fields.indexRootLength, folder, blockSize, entries))
        return false;
    // A root that shrank as its entries went left their bytes past the
    // record's attributes.
    ZelFindStaleIndexEntries(bytes.data(), fields.indexRootOffset + fields.indexRootLength, bytes.size(), folder,
                             entries);
    const CNtfsDataFields& blocks = fields.indexAllocation;
    if (!fields.hasIndexAllocation || !blocks.runsDecoded || blockSize < 512 || blockSize > 65536 ||
        (blockSize & (blockSize - 1)) != 0)
        return true;
    // The blocks run by run, a stretch of whole blocks at a time.
    const uint64_t clusterSize = m_pVolume->cluster_size;
    const uint64_t stretch = std::max<uint64_t>(blockSize, (256 * 1024 / blockSize) * blockSize);
    std::vector<uint8_t> buffer;
    uint64_t position = 0; // bytes of the index's blocks passed
    for (const CNtfsRun& run : blocks.runs) {
        if (position >= blocks.dataSize || budget == 0)
            break;
        if (run.lcn < 0 || run.lcn >= m_pVolume->nr_clusters ||
            static_cast<uint64_t>(run.length) > static_cast<uint64_t>(m_pVolume->nr_clusters - run.lcn)) {
            position += static_cast<uint64_t>(run.length) * clusterSize;
            continue;
        }
        const uint64_t runBytes = std::min(static_cast<uint64_t>(run.length) * clusterSize, blocks.dataSize - position);
        // A block begins at a multiple of the block size within the index.
        uint64_t skip = (blockSize - position % blockSize) % blockSize;
        for (uint64_t at = skip; at + blockSize <= runBytes && budget != 0; at += stretch) {
            const uint64_t want = std::min({stretch, (runBytes - at) / blockSize * blockSize, budget});
            if (want < blockSize)
                break;
            buffer.resize(static_cast<size_t>(want));
            CZelRead read = m_pDevice->Source().ReadAt(static_cast<uint64_t>(run.lcn) * clusterSize + at,
                                                       buffer.data(), buffer.size());
            budget -= want;
            if (!read.Complete())
                CountUnreadable(want - std::min<uint64_t>(want, read.bytes));
            for (size_t block = 0; block + blockSize <= read.bytes; block += blockSize)
                ZelDecodeIndexBlock(buffer.data() + block, blockSize, folder, entries);
        }
        position += static_cast<uint64_t>(run.length) * clusterSize;
    }
    return true;
}

void CNtfsUndeleteWrapper::FindIndexNames()
{
    // The nameless records by number, with the sequence number they have
    // now; an entry that names one must carry that number, or the one
    // before freeing raised it.
    std::unordered_map<uint64_t, uint16_t> wanted;
    for (const Nameless& kept : m_Nameless)
        wanted[kept.file->m_RecordNumber] = kept.sequence;
    size_t named = 0;
    auto take = [&](const CNtfsIndexEntry& entry) {
        auto it = wanted.find(RecordOf(entry.reference));
        if (it == wanted.end())
            return;
        const uint16_t then = static_cast<uint16_t>(entry.reference >> 48);
        if (then != it->second && static_cast<uint16_t>(then + 1) != it->second)
            return;
        std::wstring wide;
        if (!ZelNtfsConvertName(entry.name, wide))
            return;
        auto known = m_IndexNames.find(it->first);
        if (known != m_IndexNames.end() && NameRank(known->second.nameSpace) <= NameRank(entry.nameSpace))
            return;
        if (known == m_IndexNames.end() || NameRank(known->second.nameSpace) != 0)
            named += NameRank(entry.nameSpace) == 0 ? 1 : 0;
        m_IndexNames[it->first] = IndexName{wide, entry.parentReference, entry.nameSpace};
    };
    // The deleted folders first: what they held was deleted with them. Then
    // the folders in use, from the root down, until every record is named.
    std::deque<std::pair<uint64_t, bool>> folders;
    for (uint64_t folder : m_DeletedFolders)
        folders.emplace_back(folder, false);
    for (const Nameless& kept : m_Nameless)
        if (kept.file->m_Directory)
            folders.emplace_back(kept.file->m_RecordNumber, false);
    folders.emplace_back(kRootRecord, true);
    std::unordered_set<uint64_t> seen;
    uint64_t budget = kMaxIndexBytes;
    std::vector<uint8_t> bytes;
    std::vector<CNtfsIndexEntry> entries;
    while (!folders.empty() && named < wanted.size() && seen.size() < kMaxIndexFolders && budget != 0) {
        if (StopRequested() || m_pDevice->Vanished())
            break;
        const uint64_t folder = folders.front().first;
        const bool live = folders.front().second;
        folders.pop_front();
        if (!seen.insert(folder).second || m_UnreadableRecords.count(folder) != 0)
            continue;
        CNtfsRecordFields fields;
        if (ReadFileRecord(folder, bytes, fields) != RecordRead::Decoded || !fields.hasIndexRoot ||
            fields.InUse() != live)
            continue;
        entries.clear();
        if (!ReadIndex(folder, fields, bytes, entries, budget))
            continue;
        for (const CNtfsIndexEntry& entry : entries) {
            take(entry);
            // The folders in use below this one.
            if (live && !entry.stale && (entry.fileAttributes & kFileAttributeDirectory) != 0 &&
                RecordOf(entry.parentReference) == folder && RecordOf(entry.reference) != folder)
                folders.emplace_back(RecordOf(entry.reference), true);
        }
    }
    if (!m_IndexNames.empty())
        ZelLogFormat("%zu of %zu records without a name were named from their folders' indexes.",
                     m_IndexNames.size(), wanted.size());
}

void CNtfsUndeleteWrapper::AdoptNameless(CZelEngineCheckFile* filter)
{
    for (Nameless& kept : m_Nameless) {
        ufile& file = *kept.file;
        auto found = m_IndexNames.find(file.m_RecordNumber);
        if (found != m_IndexNames.end()) {
            file.m_Name = ZelWideToNarrow(found->second.name);
            file.m_ParentReference = found->second.parent;
            file.m_NameFromIndex = true;
        } else {
            file.m_Name = (file.m_Directory ? "Folder " : "Record ") + std::to_string(file.m_RecordNumber) +
                          (kept.extension.empty() ? std::string() : "." + kept.extension);
            file.m_ParentReference = 0;
        }
        file.m_HasName = true;
        CZelFoundEntryView view = file.GetView();
        if (filter != nullptr && !filter->Check(&view))
            continue;
        m_Results.push_back(std::move(kept.file));
        const ufile& listed = *m_Results.back();
        for (auto& stream : kept.streams) {
            stream->m_Name = listed.m_Name + ":" + *stream->m_pStream;
            stream->m_ParentReference = listed.m_ParentReference;
            stream->m_NameFromIndex = listed.m_NameFromIndex;
            m_Results.push_back(std::move(stream));
        }
    }
    m_Nameless.clear();
}
