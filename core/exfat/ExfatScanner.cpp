#include "exfat/ExfatScanner.h"

#include "exfat/ExfatLayout.h"
#include "filters/EngineCheckFile.h"
#include "jexcommon/ByteOrder.h"
#include "jexcommon/ZelText.h"

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
    m_ReadClusters.clear();
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

    Pending root;
    std::string why;
    FindBitmap(DirectoryClusters(root, why));
    m_Queue.push_back(root);
    size_t done = 0;
    while (done < m_Queue.size() && !m_Vanished) {
        // The queue grows as folders are found: read in the order found.
        const Pending dir = m_Queue[done++];
        ReadDirectory(dir);
        Publish(0.9 * static_cast<double>(done) / static_cast<double>(m_Queue.size() + 1));
    }
    m_Queue.clear();
    m_Queue.shrink_to_fit();
    if (m_Vanished || m_pVolume->Vanished()) {
        error = volumePath + ": the device is gone (" + ZelErrorText(m_VanishedError) + ")";
        m_Found.clear();
        return -1;
    }
    Judge();
    Publish(1.0);
    return 0;
}

void CExfatScanner::FindBitmap(const std::vector<uint32_t>& rootClusters)
{
    const CExfatBootSector& boot = m_pVolume->Boot();
    // With two tables there are two bitmaps; the volume flags name the
    // active pair.
    const uint8_t active = boot.numberOfFats == 2 ? (boot.volumeFlags & 1) : 0;
    std::vector<uint8_t> bytes(static_cast<size_t>(boot.clusterSize));
    std::string problem = "the root directory names no allocation bitmap";
    for (uint32_t cluster : rootClusters) {
        uint64_t offset = 0;
        if (!boot.ClusterOffset(cluster, offset))
            break;
        CZelRead read = m_Source.ReadAt(offset, bytes.data(), bytes.size());
        for (size_t at = 0; at + kEntrySize <= read.bytes; at += kEntrySize) {
            const uint8_t* entry = bytes.data() + at;
            if (entry[kEntryType] == kTypeEndOfDirectory)
                break;
            if (entry[kEntryType] != kTypeAllocationBitmap || (entry[1] & 1) != active)
                continue;
            if (m_pVolume->LoadBitmap(ZelLE32(entry + kStreamFirstCluster), ZelLE64(entry + kStreamDataLength), problem))
                return;
            m_Warning += (m_Warning.empty() ? "" : "; ") + problem + "; no file counts as intact";
            return;
        }
        if (!read.Complete())
            break;
    }
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
    }
    CExfatRestorePlan plan = ZelPlanExfatRestore(extent, m_pVolume->Facts());
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
    std::string why;
    const std::vector<uint32_t> clusters = DirectoryClusters(dir, why);
    const CExfatBootSector& boot = m_pVolume->Boot();
    std::vector<uint8_t> bytes;
    for (uint32_t cluster : clusters) {
        uint64_t offset = 0;
        // Each cluster is read once in the whole walk: a chain that loops
        // or a folder whose clusters another took ends there.
        if (cluster == 0 || !boot.ClusterOffset(cluster, offset) || !m_ReadClusters.insert(cluster).second) {
            bytes.clear();
            continue;
        }
        const size_t carried = bytes.size();
        bytes.resize(carried + static_cast<size_t>(boot.clusterSize));
        CZelRead read = m_Source.ReadAt(offset, bytes.data() + carried, static_cast<size_t>(boot.clusterSize));
        if (read.end == ZelReadEnd::Vanished) {
            m_Vanished = true;
            m_VanishedError = read.error;
            return;
        }
        if (read.end == ZelReadEnd::Failed) {
            if (m_Sink.unreadable)
                m_Sink.unreadable();
            bytes.clear();
            continue;
        }
        bytes.resize(carried + read.bytes);
        TakeSets(bytes, dir);
        // The device ends inside the directory.
        if (read.end == ZelReadEnd::VolumeEnd)
            return;
    }
}

void CExfatScanner::TakeSets(std::vector<uint8_t>& bytes, const Pending& dir)
{
    size_t at = 0;
    while (at + kEntrySize <= bytes.size()) {
        const uint8_t type = bytes[at + kEntryType];
        if ((type & ~kTypeInUse) != (kTypeFile & ~kTypeInUse)) {
            at += kEntrySize;
            continue;
        }
        CExfatEntrySet set;
        std::string problem;
        const ExfatSetCheck check = ZelDecodeExfatEntrySet(bytes.data() + at, bytes.size() - at, set, problem);
        if (check == ExfatSetCheck::Short)
            break;
        if (check != ExfatSetCheck::Set) {
            at += kEntrySize;
            continue;
        }
        Keep(set, dir);
        at += set.Bytes();
    }
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(at, bytes.size())));
}

void CExfatScanner::Keep(const CExfatEntrySet& set, const Pending& dir)
{
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
    const CExfatVolumeFacts facts = m_pVolume->Facts();
    const uint32_t last = facts.lastCluster;
    // Clusters claimed by one deleted file, and by more than one.
    std::vector<bool> once, twice;
    // Only clusters the bitmap can call free are counted: those are the
    // ones whose owner is in doubt.
    uint64_t known = 0;
    for (const auto& entry : m_Found) {
        if (entry->directory)
            continue;
        CExfatFileExtent extent;
        extent.firstCluster = entry->firstCluster;
        extent.validDataLength = entry->validDataLength;
        extent.noFatChain = entry->noFatChain;
        extent.live = !entry->inDeletedTree;
        entry->plan = ZelPlanExfatRestore(extent, facts);
        if (!extent.live)
            for (const CExfatPiece& piece : entry->plan.pieces)
                if (!piece.lost)
                    known = std::max<uint64_t>(known, static_cast<uint64_t>(piece.first) + piece.count);
    }
    known = std::min<uint64_t>(known, static_cast<uint64_t>(last) + 1);
    once.assign(static_cast<size_t>(known), false);
    twice.assign(static_cast<size_t>(known), false);
    for (const auto& entry : m_Found) {
        if (entry->directory || !entry->inDeletedTree)
            continue;
        for (const CExfatPiece& piece : entry->plan.pieces) {
            if (piece.lost)
                continue;
            for (uint64_t c = piece.first; c < static_cast<uint64_t>(piece.first) + piece.count && c < known; ++c) {
                if (once[c])
                    twice[c] = true;
                once[c] = true;
            }
        }
    }

    for (const auto& entry : m_Found) {
        if (entry->directory)
            continue;
        const CExfatRestorePlan& plan = entry->plan;
        if (!entry->inDeletedTree) {
            entry->estimate = plan.covered >= plan.needed ? 100 : 0;
            entry->note = plan.stop;
            continue;
        }
        if (plan.needed == 0) {
            entry->estimate = 100;
            continue;
        }
        uint64_t own = 0, shared = 0, unknown = 0;
        for (const CExfatPiece& piece : plan.pieces) {
            if (piece.lost)
                continue;
            for (uint64_t c = piece.first; c < static_cast<uint64_t>(piece.first) + piece.count; ++c) {
                const ExfatClusterState state = facts.state(static_cast<uint32_t>(c));
                if (state != ExfatClusterState::Free)
                    ++unknown;
                else if (c < known && twice[c])
                    ++shared;
                else
                    ++own;
            }
        }
        int32_t estimate = static_cast<int32_t>(own * 100 / plan.needed);
        if (own < plan.needed)
            estimate = std::min(estimate, 99);
        if (plan.guessed)
            estimate = std::min(estimate, 99);
        entry->estimate = estimate;
        std::string note;
        const auto add = [&note](const std::string& part) { note += (note.empty() ? "" : "; ") + part; };
        if (plan.guessed)
            add("its cluster chain was cleared when it was deleted; the clusters after its first were taken as the "
                "free ones that follow it");
        if (plan.lost != 0)
            add(std::to_string(plan.lost) + " of its clusters are in use by other files now; their bytes are zeros");
        if (shared != 0)
            add(std::to_string(shared) + " of its clusters are claimed by another deleted file too");
        if (unknown != 0)
            add(std::to_string(unknown) + " of its clusters cannot be told free by the allocation bitmap");
        if (!plan.stop.empty())
            add(plan.stop);
        entry->note = note;
    }
}
