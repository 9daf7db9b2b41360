// The free clusters no folder was read from: the later clusters of deleted
// folders whose chains were cleared. Their sets are listed under
// "$OrphanFiles", or joined to the folder whose last cluster began a set
// they end.
#include "carve/Carver.h"
#include "exfat/ExfatScanner.h"

#include "engine/ZelFreeClusters.h"
#include "exfat/ExfatLayout.h"
#include "jexcommon/ZelText.h"
#include "platform/DiagLog.h"

#include <algorithm>

using namespace exfatlayout;

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
    CZelFreeClusterWalk walk;
    walk.first = kFirstCluster;
    walk.last = last;
    walk.clusterSize = boot.clusterSize;
    walk.volumeEnd = UINT64_MAX;
    walk.wanted = [this](uint64_t c) {
        return m_pVolume->State(static_cast<uint32_t>(c)) == ExfatClusterState::Free && !WasRead(static_cast<uint32_t>(c));
    };
    walk.offsetOf = [&boot](uint64_t c) {
        uint64_t offset = 0;
        boot.ClusterOffset(static_cast<uint32_t>(c), offset);
        return offset;
    };
    walk.take = [this](uint64_t c, const uint8_t* bytes, size_t size) {
        // A folder found in an earlier cluster may have been read since,
        // with this cluster.
        const uint32_t cluster = static_cast<uint32_t>(c);
        if (m_Vanished || !MarkRead(cluster))
            return;
        const size_t seen = m_SetsSeen;
        TakeLostCluster(bytes, size);
        if (m_SetsSeen != seen)
            MarkSets(cluster);
    };
    walk.unreadable = [this](uint64_t offset, size_t size, const CZelRead& read) {
        ZelLogFormat("a free cluster at %llu cannot be read (%s); it is passed over.",
                     static_cast<unsigned long long>(offset), ZelErrorText(read.error).c_str());
        if (m_Sink.unreadable)
            m_Sink.unreadable(size);
    };
    walk.stop = [this] { return Stopped(); };
    if (CZelCarver* carver = m_Sink.carver ? m_Sink.carver() : nullptr) {
        carver->SetGrid(boot.clusterSize, boot.heapBytesOffset);
        walk.carver = carver;
    }
    walk.progress = [&](uint64_t walked) {
        m_Progress.Stage(kLostStage, kJudgeStage, static_cast<double>(walked) / static_cast<double>(last));
    };
    CZelRead gone;
    if (!ZelWalkFreeClusters(m_Source, walk, gone)) {
        m_Vanished = true;
        m_VanishedError = gone.error;
        return;
    }
    // A folder of orphans that kept nothing is not listed.
    if (m_Orphans >= 0 && static_cast<size_t>(m_Orphans) + 1 == m_Found.size()) {
        m_Found.pop_back();
        m_Orphans = -1;
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
