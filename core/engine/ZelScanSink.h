// What a scan tells its engine as it goes, and the share of it done, told
// stage by stage: every engine that walks a volume itself uses them.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

class CZelCarver;

struct CZelScanSink {
    // The share of the scan done: it grows, and reaches 1 at the end.
    std::function<void(double)> fraction;
    // A stretch of the volume that cannot be read.
    std::function<void(uint64_t bytes)> unreadable;
    // Something the user should know of how the volume was read (a layout
    // rebuilt because the volume's own was gone).
    std::function<void(const std::string&)> notice;
    // The signature search of a deep scan, null without one.
    std::function<CZelCarver*()> carver;
};

// What a search was asked for: a deep one (the free space too), and a
// flag that another thread sets to end it early.
class CZelSearchChoice {
public:
    void Choose(bool deep, const std::atomic<bool>* stop)
    {
        m_Deep = deep;
        m_pStop = stop;
    }
    bool Deep() const { return m_Deep; }
    bool Stopped() const { return m_pStop != nullptr && m_pStop->load(std::memory_order_relaxed); }

private:
    bool m_Deep = false;
    const std::atomic<bool>* m_pStop = nullptr;
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
