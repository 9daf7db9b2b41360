// A found file read into memory for a look at it, nothing written to any
// disk: through the engine, with the same verdict as a restore, and never
// more than a limit of bytes.
#pragma once

#include "jexfscore/ZelRestoreSink.h"
#include "jexrecovery/ZelRecoveryScan.h"
#include "jexrecovery/ZelRestoreOutcome.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <string>

// A restore sink that keeps the bytes in memory, up to a limit: a write past
// it keeps what fits and refuses the rest, which ends the read there. Once
// cancel (when given) is set, every write is refused: a read no longer
// wanted ends at its next piece.
class CZelMemorySink final : public CZelRestoreSink {
public:
    explicit CZelMemorySink(uint64_t limit, const std::atomic<bool>* cancel = nullptr)
        : m_Limit(limit), m_pCancel(cancel)
    {
    }

    bool Open(uint32_t mode) override;
    bool IsOpen() const override { return m_Open; }
    bool Write(const void* data, size_t length) override;
    bool Skip(uint64_t count) override;
    void SetTimes(const timespec&) override {}
    bool Commit() override;
    void Discard() override;
    const std::string& Error() const override { return m_Error; }
    uint64_t Room() const override { return m_Limit - std::min<uint64_t>(m_Limit, m_Bytes.size()); }

    const std::string& Bytes() const { return m_Bytes; }
    // The limit was reached: Bytes holds the file's first bytes only.
    bool Full() const { return m_Full; }
    bool Committed() const { return m_Committed; }

private:
    bool Append(const char* data, uint64_t count);

    uint64_t m_Limit;
    const std::atomic<bool>* m_pCancel;
    bool m_Open = false;
    bool m_Full = false;
    bool m_Committed = false;
    std::string m_Bytes;
    std::string m_Error;
};

struct CZelPreviewData {
    // The file's first bytes, or all of them when whole is set.
    std::string bytes;
    bool whole = false;
    // Restored: every byte read came from where the volume says it belongs.
    // Partial: some of the file is zeros or may be another file's data now.
    // Failed: nothing could be read (reason says why).
    ZelRestoreResult result = ZelRestoreResult::Failed;
    std::string reason;
};

// Reads at most limit bytes of a found file. A file larger than that gives
// its first limit bytes (whole is false); its verdict then rests on the
// recovery estimate and on what was read. Setting cancel ends the read.
CZelPreviewData ZelReadForPreview(const CZelFoundEntry& found, uint64_t limit,
                                  const std::atomic<bool>* cancel = nullptr);
