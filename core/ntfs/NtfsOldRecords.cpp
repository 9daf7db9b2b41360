// A deep search on NTFS: records of an earlier MFT, which a volume formatted
// anew keeps in clusters that are free now. They are found by reading the
// free clusters once, taken only when they check out as records, and put in
// a tree of their own by their parent references.
#include "carve/Carver.h"
#include "ntfs/NtfsUndeleteWrapper.h"

#include "engine/ZelFreeClusters.h"
#include "engine/ZelOrphanFolder.h"
#include "filters/EngineCheckFile.h"
#include "jexcommon/ByteOrder.h"
#include "ntfs/NtfsLayout.h"

#include <cstring>
#include <unordered_set>

using namespace ntfslayout;

namespace {

// Header fields of an MFT record that only NTFS 3.1 has: the offset of the
// update sequence is past them, and the record's own number.
constexpr size_t kUpdateSequenceOffset = 4;   // 2 bytes
constexpr size_t kRecordNumber = 0x2C;        // 4 bytes
constexpr size_t kNumberedHeaderEnd = 0x30;
// Old records kept at most: what a crafted volume can make a scan hold.
constexpr size_t kMaxOldRecords = size_t(1) << 22;

bool LooksLikeRecord(const uint8_t* bytes)
{
    return std::memcmp(bytes, "FILE", 4) == 0 && ZelLE16(bytes + kUpdateSequenceOffset) >= kNumberedHeaderEnd;
}

} // namespace

bool CNtfsUndeleteWrapper::ReadOldRecord(uint64_t offset, std::vector<uint8_t>& bytes, CNtfsRecordFields& fields,
                                         uint64_t& number)
{
    const size_t size = m_pVolume->mft_record_size;
    std::vector<uint8_t> raw(size);
    CZelRead read = ZelReadRetrying(m_pDevice->Source(), offset, raw.data(), size);
    if (read.bytes != size || !LooksLikeRecord(raw.data()))
        return false;
    number = ZelLE32(raw.data() + kRecordNumber);
    // The update sequence is checked and applied as for any record.
    return ReadRecord(number, bytes, fields, raw.data()) == RecordRead::Decoded;
}

bool CNtfsUndeleteWrapper::FindOldRecords(CZelEngineCheckFile* filter)
{
    const uint64_t clusterSize = m_pVolume->cluster_size;
    const uint64_t recordSize = m_pVolume->mft_record_size;
    const int64_t clusters = m_pVolume->nr_clusters;
    if (clusterSize == 0 || recordSize < 512 || recordSize > 65536 || clusters <= 0)
        return true;
    // Records the MFT scan listed, and old records taken so far.
    std::unordered_set<uint64_t> taken;
    for (const auto& file : m_Results)
        taken.insert(file->m_RecordNumber);
    const size_t firstOld = m_Results.size();
    std::vector<uint64_t> parents;
    std::vector<uint8_t> bytes, spanning(static_cast<size_t>(recordSize));

    // Where a record starts at offset: its bytes from the cluster read, or
    // read on their own when they go on past it.
    auto take = [&](uint64_t offset, const uint8_t* data) {
        if (m_Results.size() - firstOld >= kMaxOldRecords)
            return;
        // Its number first (the header holds it): most candidates end here,
        // before their bytes are copied to have their fixups applied.
        const uint64_t number = ZelLE32(data + kRecordNumber);
        if (number < kFirstUserRecord || taken.count(number) != 0)
            return;
        std::vector<uint8_t> raw(data, data + recordSize);
        CNtfsRecordFields fields;
        if (ReadRecord(number, bytes, fields, raw.data()) != RecordRead::Decoded || fields.baseReference != 0)
            return;
        const int preferred = ZelNtfsPreferredName(fields.fileNames);
        if (preferred < 0)
            return;
        const CNtfsFileNameFields& name = fields.fileNames[static_cast<size_t>(preferred)];
        // The old system's own files ($Extend's) are no user files.
        if (RecordOf(name.parentReference) == kExtendRecord)
            return;
        if (fields.hasIndexRoot) {
            OldFolder folder;
            ZelNtfsConvertName(name.name, folder.name);
            folder.parent = name.parentReference;
            folder.sequence = fields.sequence;
            m_OldFolders[number] = std::move(folder);
        }
        std::unique_ptr<ufile> file = MakeFoundRecord(number, fields);
        if (!file)
            return;
        CZelFoundEntryView view = file->GetView();
        if (filter != nullptr && !file->m_Directory && !filter->Check(&view))
            return;
        taken.insert(number);
        file->m_OldRecordOffset = offset;
        const size_t at = m_Results.size();
        m_Results.push_back(std::move(file));
        AddStreams(*m_Results[at], fields, m_Results);
        for (size_t i = at; i < m_Results.size(); ++i) {
            m_Results[i]->m_OldRecordOffset = offset;
            parents.push_back(name.parentReference);
        }
    };

    CZelFreeClusterWalk walk;
    walk.first = 0;
    walk.last = static_cast<uint64_t>(clusters) - 1;
    walk.clusterSize = clusterSize;
    walk.volumeEnd = static_cast<uint64_t>(clusters) * clusterSize;
    walk.wanted = [this](uint64_t c) { return m_pClusters->InUse(static_cast<int64_t>(c)) == 0; };
    walk.offsetOf = [clusterSize](uint64_t c) { return c * clusterSize; };
    walk.take = [&](uint64_t cluster, const uint8_t* data, size_t size) {
        const uint64_t base = cluster * clusterSize;
        // Records start at multiples of their size.
        // The header fields looked at lie in its first 48 bytes.
        for (uint64_t at = (recordSize - base % recordSize) % recordSize; at + kNumberedHeaderEnd <= size;
             at += recordSize) {
            if (!LooksLikeRecord(data + at))
                continue;
            if (at + recordSize <= size) {
                take(base + at, data + at);
            } else if (ZelReadRetrying(m_pDevice->Source(), base + at, spanning.data(), spanning.size()).bytes ==
                       spanning.size()) {
                take(base + at, spanning.data());
            }
        }
    };
    const double total = static_cast<double>(clusters);
    walk.progress = [&](uint64_t walked) {
        SetProgress(m_MftShare + (0.95 - m_MftShare) * static_cast<double>(walked) / total);
    };
    walk.stop = [this] { return StopRequested(); };
    if (CZelCarver* carver = Carver()) {
        carver->SetGrid(clusterSize, 0);
        walk.carver = carver;
    }
    CZelRead gone;
    const bool read = ZelWalkFreeClusters(m_pDevice->Source(), walk, gone);
    // Paths once every old folder is known.
    for (size_t i = firstOld; i < m_Results.size(); ++i)
        m_Results[i]->m_pParentPath = &OldDirectoryPath(parents[i - firstOld]);
    return read;
}

const std::wstring& CNtfsUndeleteWrapper::OldDirectoryPath(uint64_t reference)
{
    static const std::wstring kRoot;
    const uint64_t first = RecordOf(reference);
    if (first == kRootRecord)
        return kRoot;
    auto known = m_OldPaths.find(first);
    if (known != m_OldPaths.end())
        return known->second;
    // Up through the old folders to the root; a folder not found, or whose
    // record was reused (another sequence number), starts the path at
    // "$OrphanFiles".
    std::vector<const std::wstring*> names;
    std::unordered_set<uint64_t> seen;
    std::wstring prefix;
    uint64_t current = reference;
    while (static_cast<int>(names.size()) < kMaxParentDepth) {
        const uint64_t record = RecordOf(current);
        if (record == kRootRecord)
            break;
        const uint16_t sequence = static_cast<uint16_t>(current >> 48);
        auto folder = m_OldFolders.find(record);
        if (folder == m_OldFolders.end() || !seen.insert(record).second ||
            (sequence != 0 && folder->second.sequence != sequence &&
             folder->second.sequence != static_cast<uint16_t>(sequence + 1))) {
            prefix = kZelOrphanFolderW;
            break;
        }
        names.push_back(&folder->second.name);
        current = folder->second.parent;
    }
    std::wstring path = prefix;
    for (auto it = names.rbegin(); it != names.rend(); ++it)
        if (path.size() + 1 + (*it)->size() <= kMaxPathLength)
            path = path.empty() ? **it : path + L"/" + **it;
    return m_OldPaths[first] = path;
}

bool CNtfsUndeleteWrapper::ListedLive(const CNtfsRecordFields& fields) const
{
    if (!m_ListLive)
        return false;
    for (const CNtfsFileNameFields& name : fields.fileNames)
        if (RecordOf(name.parentReference) == kExtendRecord)
            return false;
    return true;
}
