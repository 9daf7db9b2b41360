// Clusters claimed by the files a scan found, for every engine: a file
// whose restore would read clusters that another found file's restore reads
// too cannot be sure they are its own. Each file's extents are added, then
// Settle works out where two or more files claim the same clusters. Memory
// grows with the extents, not with the volume.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

class CZelClaims {
public:
    // count clusters from first on are claimed by file (any number that
    // tells the files apart). A file that claims a cluster twice shares it
    // with no one.
    void Add(size_t file, uint64_t first, uint64_t count);
    // Works out the shared stretches; nothing is added after it.
    void Settle();

    // Of count clusters from first on, those that more than one file
    // claims.
    uint64_t SharedIn(uint64_t first, uint64_t count) const;
    bool IsShared(uint64_t cluster) const { return SharedIn(cluster, 1) != 0; }
    // Every stretch added, as (first, count): what the found files claim,
    // for the signature search to leave to them.
    const std::vector<std::pair<uint64_t, uint64_t>>& Extents() const { return m_Extents; }

private:
    struct Edge {
        uint64_t at;
        int delta;
        size_t file;
    };
    std::vector<Edge> m_Edges;
    std::vector<std::pair<uint64_t, uint64_t>> m_Extents;
    // Stretches more than one file claims: [first, end), in order, apart.
    std::vector<std::pair<uint64_t, uint64_t>> m_Shared;
};
