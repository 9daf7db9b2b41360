// The free clusters of a volume, read in stretches of up to a megabyte in
// volume order: where a deleted folder's clusters are searched for (FAT and
// exFAT). A stretch that cannot be read is read again cluster by cluster,
// so that one bad sector costs one cluster.
#pragma once

#include "jexplatform/VolumeSource.h"

#include <cstddef>
#include <cstdint>
#include <functional>

class CZelCarver;

struct CZelFreeClusterWalk {
    // The clusters walked, first to last.
    uint64_t first = 2;
    uint64_t last = 0;
    uint64_t clusterSize = 0;
    // Bytes of the volume that may be read (the boot record's size or the
    // device's, whichever is less).
    uint64_t volumeEnd = 0;
    // True when a cluster is to be read.
    std::function<bool(uint64_t cluster)> wanted;
    // The first cluster from cluster on that is wanted; past last when
    // none is. Without it the clusters are asked one by one.
    std::function<uint64_t(uint64_t cluster)> nextWanted;
    // Byte offset of a cluster.
    std::function<uint64_t(uint64_t cluster)> offsetOf;

    // Given the bytes of each wanted cluster that could be read (fewer at
    // the volume's end), in order; it may read more clusters itself.
    std::function<void(uint64_t cluster, const uint8_t* bytes, size_t size)> take;
    // Told of a cluster that cannot be read: its offset, size and read.
    std::function<void(uint64_t offset, size_t size, const CZelRead& read)> unreadable;
    // Told of the clusters walked so far, after each stretch.
    std::function<void(uint64_t clusters)> progress;
    // Asked after each stretch: true ends the walk there.
    std::function<bool()> stop;
    // The signature search, handed every cluster read; null: none.
    CZelCarver* carver = nullptr;
};

// Walks the volume; false, with the read, when the device went away.
bool ZelWalkFreeClusters(CZelVolumeSource& source, const CZelFreeClusterWalk& walk, CZelRead& vanished);
