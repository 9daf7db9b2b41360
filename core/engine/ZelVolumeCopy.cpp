#include "engine/ZelVolumeCopy.h"

#include "jexcommon/ZelText.h"

#include <algorithm>

namespace {

// Data is copied in chunks of this size: large enough that whole sectors
// go straight from the device to the destination.
constexpr uint64_t kChunk = 1 << 20;

} // namespace

uint8_t* ZelCopyBuffer(size_t bytes)
{
    // One per thread for every file it copies: a restore of thousands of
    // files allocates (and clears) it once, not once per file.
    thread_local std::vector<uint8_t> buffer;
    if (buffer.size() < bytes)
        buffer.resize(bytes);
    return buffer.data();
}

void ZelReportProgress(const CZelProgressCallbackPtr& progress, double fraction)
{
    if (progress)
        progress->Fire(std::min(1.0, std::max(0.0, fraction)));
}

CZelVolumeCopy::CZelVolumeCopy(CZelVolumeSource& source, uint32_t block, CZelRestoreSink& out,
                               const CZelProgressCallbackPtr& progress, uint64_t total)
    : m_Source(source), m_Block(block), m_Out(out), m_Progress(progress), m_Total(total)
{
}

CZelVolumeCopy::End CZelVolumeCopy::Copy(uint64_t offset, uint64_t count)
{
    while (count > 0) {
        // A sink that takes only so much more (a preview) is not given a
        // whole chunk it would refuse: what it takes, to the next sector.
        const uint64_t room = std::max<uint64_t>(m_Out.Room(), 1);
        const uint64_t block = std::max<uint32_t>(m_Block, 1);
        const uint64_t wanted = room > kChunk ? kChunk : (room + block - 1) / block * block;
        const size_t chunk = static_cast<size_t>(std::min(count, wanted));
        uint8_t* buffer = ZelCopyBuffer(chunk);
        CZelSalvagedRead read = ZelReadSalvaging(m_Source, offset, buffer, chunk, m_Block);
        if (read.vanished) {
            m_Reason = m_Source.Path() + ": the device is gone (" + ZelErrorText(read.error) + ")";
            return End::Vanished;
        }
        m_Unreadable += read.unreadable;
        if (read.error != 0)
            m_Error = read.error;
        if (read.bytes != 0 && !m_Out.Write(buffer, read.bytes)) {
            m_Reason = m_Out.Error();
            return End::WriteFailed;
        }
        m_Written += read.bytes;
        ZelReportProgress(m_Progress, m_Total == 0 ? 1.0 : static_cast<double>(m_Written) / static_cast<double>(m_Total));
        if (read.bytes < chunk)
            return End::VolumeEnded;
        offset += chunk;
        count -= chunk;
    }
    return End::Copied;
}

bool CZelVolumeCopy::Zeros(uint64_t count)
{
    if (!m_Out.Skip(count)) {
        m_Reason = m_Out.Error();
        return false;
    }
    m_Written += count;
    return true;
}

std::string CZelVolumeCopy::UnreadableText() const
{
    if (m_Unreadable == 0)
        return std::string();
    return std::to_string(m_Unreadable) + " bytes could not be read (" + ZelErrorText(m_Error) + ") and are zeros";
}

void CZelVolumeCopy::Fail(CZelRestoreReport& report, const std::string& why)
{
    m_Out.Discard();
    report.verdict = ZelRestoreFailed;
    report.unreadableBytes = m_Unreadable;
    report.reason = ZelNarrowToWide(why);
}
