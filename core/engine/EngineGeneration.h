// A counter that an engine bumps whenever the records it handed out stop
// being valid (a new Open, a Close, a new scan). Found entries carry the
// value they were made under, so a restore through an entry of an earlier
// generation is refused instead of touching released memory.
#pragma once

#include <atomic>
#include <cstdint>

// What RestoreCurrentFile answers for an entry of an ended generation.
constexpr int32_t kZelStaleRecord = -3;

class CZelEngineGeneration {
public:
    uint64_t Current() const { return m_Value.load(std::memory_order_acquire); }
    void Advance() { m_Value.fetch_add(1, std::memory_order_acq_rel); }

private:
    std::atomic<uint64_t> m_Value{1};
};
