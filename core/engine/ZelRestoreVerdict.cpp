#include "engine/ZelRestoreVerdict.h"

#include "jexcommon/ZelText.h"

CZelRestoreVerdict::CZelRestoreVerdict(int32_t estimate, std::string note)
    : m_Estimate(estimate), m_Note(std::move(note))
{
}

void CZelRestoreVerdict::ShortBy(uint64_t bytes, const std::string& why)
{
    m_Bytes += bytes;
    m_Reasons.push_back(why);
}

void CZelRestoreVerdict::Judge(CZelRestoreReport& report) const
{
    // An estimate below 100 says the volume shows some of the file as no
    // longer its own, whatever the copy met.
    const bool doubtful = m_Estimate >= 0 && m_Estimate < 100;
    report.unreadableBytes = m_Bytes;
    report.verdict = !doubtful && m_Reasons.empty() ? ZelRestored : ZelRestoredPartly;
    std::string why;
    if (doubtful)
        why = "recovery estimate " + std::to_string(m_Estimate) + "%" + (m_Note.empty() ? std::string() : ": " + m_Note);
    for (const std::string& reason : m_Reasons)
        why += (why.empty() ? "" : "; ") + reason;
    report.reason = ZelNarrowToWide(why);
}
