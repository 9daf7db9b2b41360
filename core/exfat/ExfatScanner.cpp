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

int32_t CExfatScanner::Scan(const std::string& volumePath, uint8_t mode, CZelEngineCheckFile* filter,
                            std::string& error)
{
    m_Found.clear();
    m_Queue.clear();
    m_Warning.clear();
    m_Vanished = false;
    m_VanishedError = 0;
    m_Progress.Restart();
    m_Mode = mode;
    m_pFilter = filter;
    m_pVolume = std::make_unique<CExfatVolume>(m_Source);

    std::string problem;
    switch (m_pVolume->Load(problem, Deep())) {
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
    if (m_pVolume->Rebuilt())
        m_Warning = m_pVolume->BootProblem();
    // A volume whose boot region is gone cannot be mounted: its live files
    // are listed too, to be copied off.
    m_ListLive = m_pVolume->UsedBackup() || m_pVolume->Rebuilt();

    // Every plan of the scan together steps over at most this many
    // clusters: many times what the device holds.
    m_PlanBudget = 16 * static_cast<uint64_t>(m_pVolume->Facts().lastCluster) + (uint64_t(1) << 20);
    const size_t onDevice = static_cast<size_t>(m_pVolume->Facts().lastCluster) + 1;
    m_ReadClusters.assign(onDevice, false);
    m_SetClusters.assign(onDevice, false);
    m_Claimed.clear();
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
    // The free clusters are read by a deep search only.
    if (Deep() && !Stopped())
        FindLostSets();
    m_Queue.clear();
    m_Queue.shrink_to_fit();
    if (m_Vanished || m_pVolume->Vanished()) {
        error = volumePath + ": the device is gone (" + ZelErrorText(m_VanishedError) + ")";
        m_Found.clear();
        return -1;
    }
    Judge();
    if (!m_Warning.empty()) {
        ZelLogLine(volumePath + ": " + m_Warning);
        // What could not be trusted is said to the user too.
        if (m_Sink.notice)
            m_Sink.notice(volumePath + ": " + m_Warning);
    }
    m_Progress.Tell(1.0);
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
    while (m_QueueDone < m_Queue.size() && !m_Vanished && !Stopped()) {
        // The queue grows as folders are found: read in the order found.
        const Pending dir = m_Queue[m_QueueDone++];
        ReadDirectory(dir);
        if (m_Orphans < 0)
            m_Progress.Stage(kWalkStage, kLostStage, static_cast<double>(m_QueueDone) / static_cast<double>(m_Queue.size() + 1));
    }
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
        CZelRead read = ZelReadRetrying(m_Source, offset, bytes.data(), bytes.size());
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
        CZelRead read = ZelReadRetrying(m_Source, offset, bytes.data() + carried, static_cast<size_t>(boot.clusterSize));
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
    if (m_Mode != 0 && !entry->inDeletedTree && !m_ListLive)
        return;
    if (m_pFilter != nullptr) {
        CZelFoundEntryView view = entry->GetView();
        if (!m_pFilter->Check(&view))
            return;
    }
    m_Found.push_back(std::move(entry));
}
