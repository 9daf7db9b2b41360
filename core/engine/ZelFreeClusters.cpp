#include "engine/ZelFreeClusters.h"

#include "carve/Carver.h"

#include <algorithm>
#include <vector>

namespace {

void Take(const CZelFreeClusterWalk& walk, uint64_t cluster, uint64_t offset, const uint8_t* bytes, size_t size)
{
    if (walk.carver != nullptr)
        walk.carver->Feed(offset, bytes, size);
    walk.take(cluster, bytes, size);
}

} // namespace

bool ZelWalkFreeClusters(CZelVolumeSource& source, const CZelFreeClusterWalk& walk, CZelRead& vanished)
{
    if (walk.clusterSize == 0)
        return true;
    const auto next = [&walk](uint64_t cluster) {
        if (walk.nextWanted)
            return walk.nextWanted(cluster);
        while (cluster <= walk.last && !walk.wanted(cluster))
            ++cluster;
        return cluster;
    };
    const uint64_t perStretch = std::max<uint64_t>(1, (uint64_t(1) << 20) / walk.clusterSize);
    std::vector<uint8_t> stretch;
    for (uint64_t cluster = next(walk.first); cluster >= walk.first && cluster <= walk.last;) {
        uint64_t count = 1;
        while (count < perStretch && cluster + count <= walk.last && walk.wanted(cluster + count))
            ++count;
        const uint64_t offset = walk.offsetOf(cluster);
        if (offset >= walk.volumeEnd)
            break;
        const size_t wanted = static_cast<size_t>(std::min<uint64_t>(count * walk.clusterSize, walk.volumeEnd - offset));
        stretch.resize(wanted);
        CZelRead read = ZelReadRetrying(source, offset, stretch.data(), wanted);
        if (read.end == ZelReadEnd::Vanished) {
            vanished = read;
            return false;
        }
        const size_t size = static_cast<size_t>(walk.clusterSize);
        for (uint64_t i = 0; i < count; ++i) {
            const size_t at = static_cast<size_t>(i * walk.clusterSize);
            if (at >= wanted)
                break;
            const size_t length = std::min(size, wanted - at);
            if (read.end == ZelReadEnd::Failed) {
                // Cluster by cluster where the stretch cannot be read.
                CZelRead single = ZelReadRetrying(source, offset + at, stretch.data() + at, length);
                if (single.end == ZelReadEnd::Vanished) {
                    vanished = single;
                    return false;
                }
                if (single.end == ZelReadEnd::Failed) {
                    if (walk.unreadable)
                        walk.unreadable(offset + at, length, single);
                    continue;
                }
                Take(walk, cluster + i, offset + at, stretch.data() + at, single.bytes);
            } else if (at < read.bytes) {
                Take(walk, cluster + i, offset + at, stretch.data() + at, std::min(length, read.bytes - at));
            }
        }
        if (walk.progress)
            walk.progress(cluster + count - walk.first);
        if (cluster + count > walk.last || (walk.stop && walk.stop()))
            break;
        cluster = next(cluster + count);
    }
    return true;
}
