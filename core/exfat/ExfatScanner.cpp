#include "exfat/ExfatScanner.h"

#include "exfat/ExfatLayout.h"
#include "filters/EngineCheckFile.h"
#include "jexcommon/ByteOrder.h"
#include "jexcommon/ZelText.h"
#include "platform/DiagLog.h"

#include <algorithm>

using namespace exfatlayout;

namespace {

// A name as it can be shown and written: a "/" or a NUL, which no exFAT
// name holds, become "_", and so does a name that is a step up or a step in
// place.
std::wstring UsableName(const std::u16string& units)
{
    std::wstring wide = ZelUtf16ToWide(units.data(), units.size());
    for (wchar_t& c : wide)
        if (c == L'/' || c == 0)
            c = L'_';
    if (wide == L"." || wide == L"..")
        wide.assign(wide.size(), L'_');
    return wide;
}

} // namespace

CExfatScanner::CExfatScanner(CZelVolumeSource& source, ProgressSink sink) : m_Source(source), m_Sink(std::move(sink))
{
}

void CExfatScanner::Publish(double fraction)
{
    // Only ever forward.
    if (fraction > m_Told) {
        m_Told = std::min(1.0, fraction);
        if (m_Sink.fraction)
            m_Sink.fraction(m_Told);
    }
}

int32_t CExfatScanner::Scan(const std::string& volumePath, uint8_t mode, CZelEngineCheckFile* filter,
                            std::string& error)
{
    m_Found.clear();
    m_Queue.clear();
    m_Warning.clear();
    m_Vanished = false;
    m_VanishedError = 0;
    m_Told = 0.0;
    m_Mode = mode;
    m_pFilter = filter;
    m_pVolume = std::make_unique<CExfatVolume>(m_Source);

    std::string problem;
    switch (m_pVolume->Load(problem)) {
    case CExfatVolume::Outcome::Ready:
        break;
    case CExfatVolume::Outcome::Refused:
        error = volumePath + ": not an exFAT volume (" + problem + ")";
        return -1;
    case CExfatVolume::Outcome::Unreadable:
        error = volumePath + ": " + problem;
        return -1;
    }
    if (m_pVolume->UsedBackup())
        m_Warning = "read from the backup boot region; " + m_pVolume->BootProblem();

    // Every plan of the scan together steps over at most this many
    // clusters: many times what the device holds.
    m_PlanBudget = 16 * static_cast<uint64_t>(m_pVolume->Facts().lastCluster) + (uint64_t(1) << 20);
    const size_t onDevice = static_cast<size_t>(m_pVolume->Facts().lastCluster) + 1;
    m_ReadClusters.assign(onDevice, false);
    m_SetClusters.assign(onDevice, false);
    m_SetsSeen = 0;
    Pending root;
    std::string why;
    FindRootTables(DirectoryClusters(root, why));
    m_Queue.push_back(root);
    m_QueueDone = 0;
    m_Orphans = -1;
    m_Dangling.clear();
    m_DanglingByRest.assign(2 * (kMaxSecondaryCount + 1), {});
    m_RestTries = 0;
    RunQueue();
    FindLostSets();
    m_Queue.clear();
    m_Queue.shrink_to_fit();
    if (m_Vanished || m_pVolume->Vanished()) {
        error = volumePath + ": the device is gone (" + ZelErrorText(m_VanishedError) + ")";
        m_Found.clear();
        return -1;
    }
    Judge();
    if (!m_Warning.empty())
        ZelLogLine(volumePath + ": " + m_Warning);
    Publish(1.0);
    return 0;
}

void CExfatScanner::MarkSets(uint32_t cluster)
{
    if (cluster < m_SetClusters.size())
        m_SetClusters[cluster] = true;
}

bool CExfatScanner::MarkRead(uint32_t cluster)
{
    if (cluster >= m_ReadClusters.size())
        return true;
    if (m_ReadClusters[cluster])
        return false;
    m_ReadClusters[cluster] = true;
    return true;
}

CExfatVolumeFacts CExfatScanner::Facts()
{
    CExfatVolumeFacts facts = m_pVolume->Facts();
    facts.budget = &m_PlanBudget;
    return facts;
}

CExfatRestorePlan CExfatScanner::PlanFor(const CExfatFoundEntry& file)
{
    CExfatFileExtent extent;
    extent.firstCluster = file.firstCluster;
    extent.validDataLength = file.validDataLength;
    extent.noFatChain = file.noFatChain;
    extent.live = !file.inDeletedTree;
    return m_pVolume ? ZelPlanExfatRestore(extent, m_pVolume->Facts()) : CExfatRestorePlan();
}

void CExfatScanner::RunQueue()
{
    while (m_QueueDone < m_Queue.size() && !m_Vanished) {
        // The queue grows as folders are found: read in the order found.
        const Pending dir = m_Queue[m_QueueDone++];
        ReadDirectory(dir);
        if (m_Orphans < 0)
            Publish(0.3 * static_cast<double>(m_QueueDone) / static_cast<double>(m_Queue.size() + 1));
    }
}

int32_t CExfatScanner::Orphans()
{
    if (m_Orphans < 0) {
        auto folder = std::make_unique<CExfatFoundEntry>();
        folder->name = kOrphanFolder;
        folder->wideName = ZelNarrowToWide(folder->name);
        folder->directory = true;
        folder->inDeletedTree = true;
        m_Orphans = static_cast<int32_t>(m_Found.size());
        m_Found.push_back(std::move(folder));
    }
    return m_Orphans;
}

void CExfatScanner::FindLostSets()
{
    // Without the bitmap no cluster is known to be free.
    if (!m_pVolume->HasBitmap() || m_Vanished)
        return;
    const CExfatBootSector& boot = m_pVolume->Boot();
    const uint32_t last = m_pVolume->Facts().lastCluster;
    const uint64_t perStretch = std::max<uint64_t>(1, (uint64_t(1) << 20) / boot.clusterSize);
    const auto lost = [this](uint64_t c) {
        return m_pVolume->State(static_cast<uint32_t>(c)) == ExfatClusterState::Free &&
               !WasRead(static_cast<uint32_t>(c));
    };
    std::vector<uint8_t> stretch;
    for (uint64_t cluster = kFirstCluster; cluster <= last && !m_Vanished;) {
        if (!lost(cluster)) {
            ++cluster;
            continue;
        }
        uint64_t count = 1;
        while (count < perStretch && cluster + count <= last && lost(cluster + count))
            ++count;
        uint64_t offset = 0;
        boot.ClusterOffset(static_cast<uint32_t>(cluster), offset);
        stretch.resize(static_cast<size_t>(count * boot.clusterSize));
        CZelRead read = m_Source.ReadAt(offset, stretch.data(), stretch.size());
        if (read.end == ZelReadEnd::Vanished) {
            m_Vanished = true;
            m_VanishedError = read.error;
            return;
        }
        if (read.end == ZelReadEnd::Failed) {
            // Cluster by cluster, so that one bad sector costs one cluster.
            const size_t size = static_cast<size_t>(boot.clusterSize);
            for (uint64_t i = 0; i < count && !m_Vanished; ++i) {
                std::vector<uint8_t> one(size);
                CZelRead single = m_Source.ReadAt(offset + i * size, one.data(), size);
                if (single.end == ZelReadEnd::Vanished) {
                    m_Vanished = true;
                    m_VanishedError = single.error;
                    return;
                }
                if (single.end == ZelReadEnd::Failed) {
                    ZelLogFormat("free cluster %llu cannot be read (%s); it is passed over.",
                                 static_cast<unsigned long long>(cluster + i), ZelErrorText(single.error).c_str());
                    if (m_Sink.unreadable)
                        m_Sink.unreadable(size);
                    continue;
                }
                one.resize(single.bytes);
                TakeLostSets(one, static_cast<uint32_t>(cluster + i));
            }
        } else {
            stretch.resize(read.bytes);
            TakeLostSets(stretch, static_cast<uint32_t>(cluster));
        }
        cluster += count;
        Publish(0.3 + 0.6 * static_cast<double>(cluster - kFirstCluster) / static_cast<double>(last));
    }
    // A folder of orphans that kept nothing is not listed.
    if (m_Orphans >= 0 && static_cast<size_t>(m_Orphans) + 1 == m_Found.size()) {
        m_Found.pop_back();
        m_Orphans = -1;
    }
}

void CExfatScanner::TakeLostSets(const std::vector<uint8_t>& bytes, uint32_t first)
{
    const uint64_t clusterSize = m_pVolume->Boot().clusterSize;
    for (uint64_t at = 0; at < bytes.size() && !m_Vanished; at += clusterSize) {
        // A folder found in an earlier cluster may have been read since,
        // with this cluster.
        const uint32_t cluster = static_cast<uint32_t>(first + at / clusterSize);
        if (!MarkRead(cluster))
            continue;
        const size_t seen = m_SetsSeen;
        TakeLostCluster(bytes.data() + at, static_cast<size_t>(std::min<uint64_t>(clusterSize, bytes.size() - at)));
        if (m_SetsSeen != seen)
            MarkSets(cluster);
    }
}

void CExfatScanner::TakeLostCluster(const uint8_t* bytes, size_t length)
{
    // Stream extensions and names, and the vendor entries a set may hold.
    const auto secondary = [](uint8_t type) {
        const uint8_t kind = type & ~kTypeInUse;
        return kind == 0x40 || kind == 0x41 || kind == 0x60 || kind == 0x61;
    };
    // Whatever a free cluster lists is gone, live sets too: their folder
    // was deleted. It goes with the orphans unless a set's start at the
    // end of a folder's cluster and its rest at the start of this one make
    // one set.
    Pending owner;
    owner.record = kOrphansPending;
    owner.depth = 1;
    owner.deletedTree = true;
    size_t at = 0;
    size_t leading = 0;
    while (leading < kMaxSecondaryCount && (leading + 1) * kEntrySize <= length &&
           secondary(bytes[leading * kEntrySize + kEntryType]))
        ++leading;
    if (leading != 0 && leading * kEntrySize <= length) {
        std::vector<uint8_t> joined;
        // The entries of a set are all in use or all deleted.
        const size_t inUse = (bytes[kEntryType] & kTypeInUse) != 0 ? 1 : 0;
        for (size_t index : m_DanglingByRest[2 * leading + inUse]) {
            if (m_RestTries >= kMaxRestTries)
                break;
            Dangling& dangling = m_Dangling[index];
            if (dangling.used)
                continue;
            ++m_RestTries;
            joined.assign(dangling.head.begin(), dangling.head.end());
            joined.insert(joined.end(), bytes, bytes + leading * kEntrySize);
            CExfatEntrySet set;
            std::string problem;
            // The set checksum and the name's hash both agree: 32 bits of
            // proof that the two clusters hold one set.
            if (ZelDecodeExfatEntrySet(joined.data(), joined.size(), set, problem) != ExfatSetCheck::Set ||
                ZelExfatNameHash(set.name, &m_pVolume->Upcase()) != set.nameHash)
                continue;
            dangling.used = true;
            owner = dangling.dir;
            at = leading * kEntrySize;
            if (owner.record == kOrphansPending)
                owner.record = Orphans();
            Keep(set, owner);
            break;
        }
    }
    bool cut = false;
    at = TakeSetsFrom(bytes, length, at, owner, cut);
    if (cut)
        AddDangling(bytes + at, length - at, owner);
    // The folders found here are read now, before the clusters after this
    // one are searched: they may be theirs.
    RunQueue();
}

void CExfatScanner::FindRootTables(const std::vector<uint32_t>& rootClusters)
{
    const CExfatBootSector& boot = m_pVolume->Boot();
    // With two tables there are two bitmaps; the volume flags name the
    // active pair.
    const uint8_t active = boot.numberOfFats == 2 ? (boot.volumeFlags & 1) : 0;
    std::vector<uint8_t> bytes(static_cast<size_t>(boot.clusterSize));
    std::string problem = "the root directory names no allocation bitmap";
    bool found = false;
    for (uint32_t cluster : rootClusters) {
        uint64_t offset = 0;
        if (!boot.ClusterOffset(cluster, offset))
            break;
        CZelRead read = m_Source.ReadAt(offset, bytes.data(), bytes.size());
        for (size_t at = 0; at + kEntrySize <= read.bytes; at += kEntrySize) {
            const uint8_t* entry = bytes.data() + at;
            if (entry[kEntryType] == kTypeEndOfDirectory)
                break;
            if (entry[kEntryType] == kTypeUpcaseTable && m_pVolume->Upcase().empty()) {
                std::string why;
                if (!m_pVolume->LoadUpcase(ZelLE32(entry + kStreamFirstCluster), ZelLE64(entry + kStreamDataLength),
                                           ZelLE32(entry + kUpcaseChecksum), why))
                    m_Warning += (m_Warning.empty() ? "" : "; ") + why;
                continue;
            }
            if (entry[kEntryType] != kTypeAllocationBitmap || (entry[1] & 1) != active || found)
                continue;
            found = true;
            if (!m_pVolume->LoadBitmap(ZelLE32(entry + kStreamFirstCluster), ZelLE64(entry + kStreamDataLength), problem))
                m_Warning += (m_Warning.empty() ? "" : "; ") + problem + "; no file counts as intact";
        }
        if (!read.Complete() || (found && !m_pVolume->Upcase().empty()))
            break;
    }
    if (!found)
        m_Warning += (m_Warning.empty() ? "" : "; ") + problem + "; no file counts as intact";
}

std::vector<uint32_t> CExfatScanner::DirectoryClusters(const Pending& dir, std::string& why)
{
    const CExfatBootSector& boot = m_pVolume->Boot();
    CExfatFileExtent extent;
    if (dir.record < 0) {
        // The root has no length of its own: its chain ends it.
        extent.firstCluster = boot.rootCluster;
        extent.validDataLength = kMaxDirectoryBytes;
        extent.live = true;
    } else {
        const CExfatFoundEntry& entry = *m_Found[static_cast<size_t>(dir.record)];
        extent.firstCluster = entry.firstCluster;
        extent.validDataLength = std::min(entry.dataLength, kMaxDirectoryBytes);
        extent.noFatChain = entry.noFatChain;
        extent.live = !dir.deletedTree;
        // Free clusters after the first of a folder are no proof of being
        // its own: its later clusters are searched for among them instead.
        extent.guessClearedChain = false;
    }
    CExfatRestorePlan plan = ZelPlanExfatRestore(extent, Facts());
    // The root's chain ends long before its bound.
    why = dir.record < 0 ? std::string() : plan.stop;
    std::vector<uint32_t> clusters;
    for (const CExfatPiece& piece : plan.pieces) {
        if (piece.lost) {
            clusters.push_back(0); // a gap: no set runs across it
            continue;
        }
        for (uint32_t i = 0; i < piece.count; ++i)
            clusters.push_back(piece.first + i);
    }
    return clusters;
}

void CExfatScanner::ReadDirectory(const Pending& dir)
{
    // A folder whose first cluster was read already is read no more: that
    // cluster is another folder's, or this one was reached twice.
    if (dir.record >= 0 && WasRead(m_Found[static_cast<size_t>(dir.record)]->firstCluster))
        return;
    std::string why;
    const std::vector<uint32_t> clusters = DirectoryClusters(dir, why);
    const CExfatBootSector& boot = m_pVolume->Boot();
    std::vector<uint8_t> bytes;
    for (uint32_t cluster : clusters) {
        uint64_t offset = 0;
        // A cluster another file holds now: no set runs across it.
        if (cluster == 0) {
            bytes.clear();
            continue;
        }
        // Each cluster is read once in the whole walk: a chain that loops
        // or a folder whose clusters another took ends there.
        if (!boot.ClusterOffset(cluster, offset) || !MarkRead(cluster))
            break;
        const size_t carried = bytes.size();
        bytes.resize(carried + static_cast<size_t>(boot.clusterSize));
        CZelRead read = m_Source.ReadAt(offset, bytes.data() + carried, static_cast<size_t>(boot.clusterSize));
        if (read.end == ZelReadEnd::Vanished) {
            m_Vanished = true;
            m_VanishedError = read.error;
            return;
        }
        if (read.end == ZelReadEnd::Failed) {
            ZelLogFormat("directory cluster %u at %llu cannot be read (%s); it is passed over.", cluster,
                         static_cast<unsigned long long>(offset), ZelErrorText(read.error).c_str());
            if (m_Sink.unreadable)
                m_Sink.unreadable(boot.clusterSize);
            bytes.clear();
            continue;
        }
        bytes.resize(carried + read.bytes);
        const size_t seen = m_SetsSeen;
        TakeSets(bytes, dir);
        if (m_SetsSeen != seen)
            MarkSets(cluster);
        // The device ends inside the directory.
        if (read.end == ZelReadEnd::VolumeEnd)
            return;
    }
    // A set that goes on past a deleted folder's last cluster read goes on
    // in a cluster its cleared chain no longer names.
    if (dir.deletedTree && !bytes.empty())
        AddDangling(bytes.data(), bytes.size(), dir);
}

void CExfatScanner::AddDangling(const uint8_t* bytes, size_t length, const Pending& dir)
{
    if (length < kEntrySize || length % kEntrySize != 0)
        return;
    const size_t have = length / kEntrySize;
    const size_t whole = 1 + static_cast<size_t>(bytes[kFileSecondaryCount]);
    if (whole <= have || whole - have > kMaxSecondaryCount || m_Dangling.size() >= kMaxDangling)
        return;
    Dangling dangling;
    dangling.head.assign(bytes, bytes + length);
    dangling.dir = dir;
    const size_t inUse = (bytes[kEntryType] & kTypeInUse) != 0 ? 1 : 0;
    m_DanglingByRest[2 * (whole - have) + inUse].push_back(m_Dangling.size());
    m_Dangling.push_back(std::move(dangling));
}

void CExfatScanner::TakeSets(std::vector<uint8_t>& bytes, const Pending& dir)
{
    Pending into = dir;
    bool cut = false;
    const size_t at = TakeSetsFrom(bytes.data(), bytes.size(), 0, into, cut);
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(at, bytes.size())));
}

size_t CExfatScanner::TakeSetsFrom(const uint8_t* bytes, size_t length, size_t at, Pending& dir, bool& cut)
{
    cut = false;
    while (at + kEntrySize <= length && !m_Vanished) {
        const uint8_t type = bytes[at + kEntryType];
        if ((type & ~kTypeInUse) != (kTypeFile & ~kTypeInUse)) {
            at += kEntrySize;
            continue;
        }
        CExfatEntrySet set;
        std::string problem;
        const ExfatSetCheck check = ZelDecodeExfatEntrySet(bytes + at, length - at, set, problem);
        if (check == ExfatSetCheck::Short) {
            cut = true;
            return at;
        }
        if (check != ExfatSetCheck::Set) {
            at += kEntrySize;
            continue;
        }
        if (dir.record == kOrphansPending)
            dir.record = Orphans();
        Keep(set, dir);
        at += set.Bytes();
    }
    return at;
}

void CExfatScanner::Keep(const CExfatEntrySet& set, const Pending& dir)
{
    ++m_SetsSeen;
    // No file on this volume can be larger than its cluster heap.
    const CExfatBootSector& boot = m_pVolume->Boot();
    if (set.dataLength > static_cast<uint64_t>(boot.clusterCount) * boot.clusterSize)
        return;
    auto entry = std::make_unique<CExfatFoundEntry>();
    entry->wideName = UsableName(set.name);
    entry->name = ZelWideToNarrow(entry->wideName);
    entry->parent = dir.record;
    entry->directory = set.IsDirectory();
    entry->deleted = set.deleted;
    entry->inDeletedTree = set.deleted || dir.deletedTree;
    entry->attributes = set.attributes;
    entry->firstCluster = set.firstCluster;
    entry->noFatChain = set.noFatChain;
    entry->validDataLength = set.validDataLength;
    entry->dataLength = set.dataLength;
    entry->modifiedTimestamp = set.modifiedTimestamp;
    entry->modified10ms = set.modified10ms;
    entry->modifiedUtcOffset = set.modifiedUtcOffset;

    if (entry->directory) {
        Pending child;
        child.record = static_cast<int32_t>(m_Found.size());
        child.depth = dir.depth + 1;
        child.deletedTree = entry->inDeletedTree;
        m_Found.push_back(std::move(entry));
        if (child.depth <= kMaxDepth)
            m_Queue.push_back(child);
        return;
    }
    if (m_Mode != 0 && !entry->inDeletedTree)
        return;
    if (m_pFilter != nullptr) {
        CZelFoundEntryView view = entry->GetView();
        if (!m_pFilter->Check(&view))
            return;
    }
    m_Found.push_back(std::move(entry));
}

void CExfatScanner::Judge()
{
    const CExfatVolumeFacts facts = Facts();
    // Clusters claimed by one deleted file, and by more than one; only the
    // clusters the device holds can be claimed.
    const uint64_t known = static_cast<uint64_t>(facts.lastCluster) + 1;
    std::vector<bool> once, twice;
    const auto plan = [&](const CExfatFoundEntry& file) {
        CExfatFileExtent extent;
        extent.firstCluster = file.firstCluster;
        extent.validDataLength = file.validDataLength;
        extent.noFatChain = file.noFatChain;
        extent.live = !file.inDeletedTree;
        return ZelPlanExfatRestore(extent, facts);
    };
    // The plans are made twice, once to claim and once to count, and
    // again by a restore: a scan keeps no list of clusters per file.
    for (const auto& entry : m_Found) {
        if (entry->directory || !entry->inDeletedTree)
            continue;
        for (const CExfatPiece& piece : plan(*entry).pieces) {
            if (piece.lost)
                continue;
            const uint64_t end = std::min<uint64_t>(static_cast<uint64_t>(piece.first) + piece.count, known);
            if (end > once.size()) {
                once.resize(static_cast<size_t>(end), false);
                twice.resize(static_cast<size_t>(end), false);
            }
            for (uint64_t c = piece.first; c < end; ++c) {
                if (once[c])
                    twice[c] = true;
                once[c] = true;
            }
        }
    }
    Publish(0.95);

    for (const auto& entry : m_Found) {
        if (entry->directory)
            continue;
        const CExfatRestorePlan made = plan(*entry);
        if (!entry->inDeletedTree) {
            entry->estimate = made.covered >= made.needed ? 100 : 0;
            entry->note = made.stop;
            continue;
        }
        if (made.needed == 0) {
            entry->estimate = 100;
            continue;
        }
        uint64_t own = 0, shared = 0, unknown = 0, folders = 0;
        for (const CExfatPiece& piece : made.pieces) {
            if (piece.lost)
                continue;
            for (uint64_t c = piece.first; c < static_cast<uint64_t>(piece.first) + piece.count; ++c) {
                const ExfatClusterState state = facts.state(static_cast<uint32_t>(c));
                if (state != ExfatClusterState::Free)
                    ++unknown;
                else if (HoldsSets(static_cast<uint32_t>(c)))
                    ++folders;
                else if (c < twice.size() && twice[c])
                    ++shared;
                else
                    ++own;
            }
        }
        int32_t estimate = static_cast<int32_t>(own * 100 / made.needed);
        if (own < made.needed || made.guessed)
            estimate = std::min(estimate, 99);
        entry->estimate = estimate;
        std::string note;
        const auto add = [&note](const std::string& part) { note += (note.empty() ? "" : "; ") + part; };
        if (made.guessed)
            add("its cluster chain was cleared when it was deleted; the clusters after its first were taken as the "
                "free ones that follow it");
        if (made.lost != 0)
            add(std::to_string(made.lost) + " of its clusters are in use by other files now; their bytes are zeros");
        if (folders != 0)
            add(std::to_string(folders) + " of its clusters hold a deleted folder's entries");
        if (shared != 0)
            add(std::to_string(shared) + " of its clusters are claimed by another deleted file too");
        if (unknown != 0)
            add(std::to_string(unknown) + " of its clusters cannot be told free by the allocation bitmap");
        if (!made.stop.empty())
            add(made.stop);
        entry->note = note;
    }
}
