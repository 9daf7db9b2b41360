// What a scan tells its engine as it goes, and the share of it done, told
// stage by stage: every engine that walks a volume itself uses them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>

struct CZelScanSink {
    // The share of the scan done: it grows, and reaches 1 at the end.
    std::function<void(double)> fraction;
    // A stretch of the volume that cannot be read.
    std::function<void(uint64_t bytes)> unreadable;
};

// Tells a sink the share done, which only ever grows.
class CZelStageProgress {
public:
    explicit CZelStageProgress(const CZelScanSink& sink) : m_Sink(sink) {}

    void Restart() { m_Told = 0.0; }
    // done of the stage that starts at start and ends where next starts.
    void Stage(double start, double next, double done) { Tell(start + (next - start) * std::clamp(done, 0.0, 1.0)); }
    void Tell(double share)
    {
        if (share <= m_Told)
            return;
        m_Told = share;
        if (m_Sink.fraction)
            m_Sink.fraction(share);
    }

private:
    const CZelScanSink& m_Sink;
    double m_Told = 0.0;
};
