#include "jexrecovery/ZelPreviewRead.h"

#include "jexcommon/ZelText.h"

#include <algorithm>

bool CZelMemorySink::Open(uint32_t /*mode*/)
{
    m_Bytes.clear();
    m_Error.clear();
    m_Full = false;
    m_Committed = false;
    m_Open = true;
    return true;
}

bool CZelMemorySink::Append(const char* data, uint64_t count)
{
    if (!m_Open) {
        m_Error = "no preview is being read";
        return false;
    }
    if (m_pCancel != nullptr && m_pCancel->load()) {
        m_Error = "the preview is no longer wanted";
        return false;
    }
    const uint64_t room = m_Limit - std::min<uint64_t>(m_Limit, m_Bytes.size());
    const size_t taken = static_cast<size_t>(std::min(room, count));
    if (data != nullptr)
        m_Bytes.append(data, taken);
    else
        m_Bytes.append(taken, '\0');
    if (taken < count) {
        m_Full = true;
        m_Error = "the preview reads no more than " + std::to_string(m_Limit) + " bytes";
        return false;
    }
    return true;
}

bool CZelMemorySink::Write(const void* data, size_t length)
{
    return Append(static_cast<const char*>(data), length);
}

bool CZelMemorySink::Skip(uint64_t count)
{
    return Append(nullptr, count);
}

bool CZelMemorySink::Commit()
{
    if (!m_Open) {
        m_Error = "no preview is being read";
        return false;
    }
    m_Committed = true;
    return true;
}

void CZelMemorySink::Discard()
{
    // What was read stays for the caller: a preview cut at its limit is
    // still worth showing. Only a new Open starts afresh.
    if (!m_Committed && !m_Full && m_Open)
        m_Bytes.clear();
    m_Open = false;
}

CZelPreviewData ZelReadForPreview(const CZelFoundEntry& found, uint64_t limit, const std::atomic<bool>* cancel)
{
    CZelPreviewData preview;
    auto file = boost::dynamic_pointer_cast<CZelFSFile>(found.entry);
    if (!file || found.directory) {
        preview.reason = "not a file this search found";
        return preview;
    }
    CZelMemorySink sink(limit, cancel);
    CZelRestoreReport report;
    const ZELRESULT result = file->RestoreTo(sink, CZelProgressCallbackPtr(), report);
    preview.reason = ZelWideToNarrow(report.reason);
    if (sink.Full()) {
        // Cut by the limit, not by the volume: the estimate, and what could
        // not be read so far, tell whether what was read can be trusted.
        preview.bytes = sink.Bytes();
        const bool own = found.estimate >= 100;
        preview.result = own && report.unreadableBytes == 0 ? ZelRestoreResult::Restored : ZelRestoreResult::Partial;
        preview.reason.clear();
        if (!own) {
            preview.reason = file->GetRecoveryNote();
            if (preview.reason.empty())
                preview.reason = "recovery estimate " + std::to_string(std::max(0, found.estimate)) + "%";
        }
        if (report.unreadableBytes != 0)
            preview.reason += (preview.reason.empty() ? "" : "; ") + std::to_string(report.unreadableBytes) +
                              " bytes could not be read and are zeros";
        return preview;
    }
    if (result == ZEL_S_OK || result == ZEL_S_PARTIAL) {
        preview.bytes = sink.Bytes();
        preview.whole = true;
        preview.result = result == ZEL_S_OK ? ZelRestoreResult::Restored : ZelRestoreResult::Partial;
        return preview;
    }
    if (preview.reason.empty())
        preview.reason = "the file could not be read";
    return preview;
}
