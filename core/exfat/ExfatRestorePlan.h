// Which clusters the restore of an exFAT file reads, and how far the volume
// still vouches for them. A file flagged contiguous lies in one run from its
// first cluster; any other follows its chain in the allocation table. Some
// drivers clear a deleted file's chain: then the clusters after the first
// are taken as the free ones that follow it, a guess the verdict owns up to.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What the allocation bitmap says of a cluster.
enum class ExfatClusterState { Free, InUse, Unknown };

// A run of clusters the restore takes in order. A lost run is held by
// another file now: its bytes are written as zeros.
struct CExfatPiece {
    uint32_t first = 0;
    uint32_t count = 0;
    bool lost = false;
};

struct CExfatFileExtent {
    uint32_t firstCluster = 0;
    // Bytes that hold data; the rest of the file up to its data length
    // reads as zeros.
    uint64_t validDataLength = 0;
    bool noFatChain = false;
    // A live file's clusters are its own whatever the bitmap says.
    bool live = false;
    // Where a deleted file's chain was cleared, take the free clusters
    // that follow its first as a guess; otherwise the plan stops there.
    bool guessClearedChain = true;
};

struct CExfatRestorePlan {
    std::vector<CExfatPiece> pieces;
    // Clusters the valid data takes.
    uint64_t needed = 0;
    // Clusters the pieces hold, lost ones included.
    uint64_t covered = 0;
    // Of those, held by another file.
    uint64_t lost = 0;
    // The chain was cleared: the clusters after the first are a guess.
    bool guessed = false;
    // Why the plan ends before the file does; empty when it does not.
    std::string stop;
};

struct CExfatVolumeFacts {
    uint64_t clusterSize = 0;
    // The last cluster of the heap that the device holds.
    uint32_t lastCluster = 0;
    // The bitmap's word on a cluster.
    std::function<ExfatClusterState(uint32_t)> state;
    // The table entry of a cluster; false when it cannot be read.
    std::function<bool(uint32_t, uint32_t&)> next;
    // Clusters plans may still step over, shared by all the plans of one
    // scan; null for no bound. A crafted volume whose entries all claim
    // the whole heap would otherwise cost entries times clusters.
    uint64_t* budget = nullptr;
};

// The stop of a plan that ran out of its budget.
extern const char* const kExfatBudgetStop;

// A guess passes over at most this many clusters in use beyond what the
// file needs, so that a file on a full volume does not scan all of it.
constexpr uint64_t kExfatGuessSlack = 1 << 16;

CExfatRestorePlan ZelPlanExfatRestore(const CExfatFileExtent& file, const CExfatVolumeFacts& volume);
