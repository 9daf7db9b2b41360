// The verdict of a restore whose file was written, the same for every
// engine: restored only when nothing fell short and the file's estimate
// shows all of it as its own; partial otherwise, the reason naming the
// estimate and every shortfall.
#pragma once

#include "jexfscore/ZelResult.h"

#include <cstdint>
#include <string>
#include <vector>

class CZelRestoreVerdict {
public:
    // The file's recovery estimate (below 0 when it was not judged) and
    // the note that says why it is below 100.
    CZelRestoreVerdict(int32_t estimate, std::string note);

    // Something the file lacks: bytes of it that are zeros or missing (0
    // where the shortfall counts none), and what it is ("N bytes could not
    // be read ...").
    void ShortBy(uint64_t bytes, const std::string& why);
    bool Short() const { return !m_Reasons.empty(); }

    // Sets the report's verdict, unreadable bytes and reason.
    void Judge(CZelRestoreReport& report) const;

private:
    int32_t m_Estimate;
    std::string m_Note;
    uint64_t m_Bytes = 0;
    std::vector<std::string> m_Reasons;
};
