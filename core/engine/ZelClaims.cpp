#include "engine/ZelClaims.h"

#include <algorithm>
#include <unordered_map>

void CZelClaims::Add(size_t file, uint64_t first, uint64_t count)
{
    if (count == 0 || first + count < first)
        return;
    m_Extents.emplace_back(first, count);
    m_Edges.push_back({first, 1, file});
    m_Edges.push_back({first + count, -1, file});
}

void CZelClaims::Settle()
{
    // A sweep over the stretches' ends, ends before starts at one place so
    // that stretches that only touch share nothing.
    std::sort(m_Edges.begin(), m_Edges.end(),
              [](const Edge& a, const Edge& b) { return a.at != b.at ? a.at < b.at : a.delta < b.delta; });
    m_Shared.clear();
    // The files whose stretches are open, with how many of theirs are.
    std::unordered_map<size_t, int> open;
    for (size_t e = 0; e < m_Edges.size(); ++e) {
        int& count = open[m_Edges[e].file];
        count += m_Edges[e].delta;
        if (count == 0)
            open.erase(m_Edges[e].file);
        if (e + 1 == m_Edges.size() || open.size() < 2 || m_Edges[e + 1].at == m_Edges[e].at)
            continue;
        const uint64_t from = m_Edges[e].at, to = m_Edges[e + 1].at;
        if (!m_Shared.empty() && m_Shared.back().second == from)
            m_Shared.back().second = to;
        else
            m_Shared.emplace_back(from, to);
    }
    m_Edges.clear();
    m_Edges.shrink_to_fit();
}

uint64_t CZelClaims::SharedIn(uint64_t first, uint64_t count) const
{
    const uint64_t end = first + count < first ? UINT64_MAX : first + count;
    // The first shared stretch that ends after first.
    auto at = std::upper_bound(m_Shared.begin(), m_Shared.end(), first,
                               [](uint64_t value, const std::pair<uint64_t, uint64_t>& s) { return value < s.second; });
    uint64_t shared = 0;
    for (; at != m_Shared.end() && at->first < end; ++at)
        shared += std::min(end, at->second) - std::max(first, at->first);
    return shared;
}
