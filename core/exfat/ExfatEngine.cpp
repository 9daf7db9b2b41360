#include "exfat/ExfatEngine.h"

#include "exfat/ExfatTimestamp.h"
#include "exfat/ZelIteratorExfat.h"
#include "jexcommon/ZelText.h"
#include "jexplatform/OutputFile.h"

#include <boost/make_shared.hpp>

#include <algorithm>
#include <vector>

namespace {

// Data is copied in chunks of this size.
constexpr size_t kRestoreChunk = 1 << 20;

void Report(const CZelProgressCallbackPtr& progress, double fraction)
{
    if (progress)
        progress->Fire(std::min(1.0, std::max(0.0, fraction)));
}

} // namespace

CExfatEngine::~CExfatEngine()
{
    Close();
}

bool CExfatEngine::IsOpenLocked() const
{
    return m_pReader && m_pScanner;
}

int32_t CExfatEngine::OpenLocked(const std::string& /*volumePath*/, int32_t blockSize, std::string& /*error*/)
{
    m_pReader = std::make_unique<CBlockReader>(blockSize);
    CExfatScanner::ProgressSink sink;
    sink.fraction = [this](double done) { SetProgress(done); };
    sink.unreadable = [this]() { CountUnreadable(); };
    m_pScanner = std::make_unique<CExfatScanner>(*m_pReader, std::move(sink));
    return 0;
}

void CExfatEngine::ReleaseLocked()
{
    m_pScanner.reset();
    m_pReader.reset();
}

int32_t CExfatEngine::ScanLocked(const std::string& volumePath, uint8_t mode, CZelEngineCheckFile* filter,
                                 std::string& error)
{
    // The volume is opened anew for every scan.
    std::string reason;
    std::unique_ptr<CZelVolumeSource> source = OpenSource(volumePath, reason);
    if (!source) {
        m_pReader->close();
        error = volumePath + ": " + reason;
        return -1;
    }
    m_pReader->Attach(std::move(source));
    return m_pScanner->Scan(volumePath, mode, filter, error);
}

size_t CExfatEngine::GetEntryCount()
{
    return m_pScanner && m_pReader ? m_pScanner->Count() : 0;
}

const CExfatFoundEntry* CExfatEngine::GetEntry(size_t index)
{
    return m_pScanner && m_pReader ? m_pScanner->Entry(index) : nullptr;
}

boost::shared_ptr<CZelEntityIterator> CExfatEngine::CreateIterator()
{
    return boost::make_shared<CZelIteratorExfat>(boost::static_pointer_cast<CExfatEngine>(shared_from_this()));
}

int32_t CExfatEngine::RestoreLocked(const char* destination, const CZelEngineRecord& record,
                                    const CZelProgressCallbackPtr& progress, CZelRestoreReport& report)
{
    const CExfatFoundEntry* file = dynamic_cast<const CExfatFoundEntry*>(&record);
    if (file == nullptr || file->directory || !m_pReader || !m_pReader->isOpen() || !m_pScanner->Volume())
        return kZelNotThisEngine;
    const CExfatBootSector& boot = m_pScanner->Volume()->Boot();
    // The plan is made again: a scan keeps no list of clusters per file.
    const CExfatRestorePlan plan = m_pScanner->PlanFor(*file);
    const uint64_t valid = file->validDataLength;
    const uint64_t size = file->dataLength;

    // Nothing of a file with data can be read: no file is written.
    if (valid != 0 && plan.covered == plan.lost) {
        report.reason = ZelNarrowToWide(file->note.empty() ? std::string("none of its clusters can be read")
                                                            : file->note);
        return 0;
    }
    // A restored file never replaces an existing one.
    CZelOutputFile out;
    if (!out.Create(destination, 0666)) {
        report.reason = ZelNarrowToWide(out.Error());
        return 0;
    }
    timespec modified;
    if (ZelExfatTime(file->modifiedTimestamp, file->modified10ms, file->modifiedUtcOffset, modified))
        out.SetTimes(modified);

    const uint32_t block = m_pReader->blockSize() >= 2 ? static_cast<uint32_t>(m_pReader->blockSize()) : 512;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(std::max<uint64_t>(valid, 1), kRestoreChunk)));
    uint64_t written = 0, unreadable = 0;
    int error = 0;
    bool ended = false;
    for (const CExfatPiece& piece : plan.pieces) {
        uint64_t offset = 0;
        if (ended || written >= valid || !boot.ClusterOffset(piece.first, offset))
            break;
        uint64_t pieceBytes = std::min<uint64_t>(static_cast<uint64_t>(piece.count) * boot.clusterSize, valid - written);
        if (piece.lost) {
            // Another file's now: its place is kept, as zeros.
            if (!out.Skip(pieceBytes)) {
                report.reason = ZelNarrowToWide(out.Error());
                return 0;
            }
            written += pieceBytes;
            continue;
        }
        while (pieceBytes > 0) {
            const size_t chunk = static_cast<size_t>(std::min<uint64_t>(pieceBytes, kRestoreChunk));
            CZelSalvagedRead read = ZelReadSalvaging(*m_pReader, offset, buffer.data(), chunk, block);
            if (read.vanished) {
                report.reason =
                    ZelNarrowToWide(m_pReader->Path() + ": the device is gone (" + ZelErrorText(read.error) + ")");
                return 0;
            }
            unreadable += read.unreadable;
            if (read.error != 0)
                error = read.error;
            if (read.bytes != 0 && !out.Write(buffer.data(), read.bytes)) {
                report.reason = ZelNarrowToWide(out.Error());
                return 0;
            }
            written += read.bytes;
            Report(progress, size == 0 ? 1.0 : static_cast<double>(written) / static_cast<double>(size));
            if (read.bytes < chunk) {
                ended = true;
                break;
            }
            offset += chunk;
            pieceBytes -= chunk;
        }
    }
    // Past the valid data the file reads as zeros, when all of the valid
    // data is there; a file whose data stops early stops there too.
    const uint64_t missing = valid - std::min(valid, written);
    if (missing == 0 && size > written && !out.Skip(size - written)) {
        report.reason = ZelNarrowToWide(out.Error());
        return 0;
    }
    if (!out.Commit()) {
        report.reason = ZelNarrowToWide(out.Error());
        return 0;
    }
    const uint64_t lostBytes = std::min<uint64_t>(plan.lost * boot.clusterSize, valid);
    report.unreadableBytes = unreadable + missing + lostBytes;
    const bool own = file->estimate >= 100;
    report.verdict = report.unreadableBytes == 0 && own ? ZelRestored : ZelRestoredPartly;
    std::string why;
    if (!own)
        why = "recovery estimate " + std::to_string(std::max(0, file->estimate)) + "%" +
              (file->note.empty() ? std::string() : ": " + file->note);
    if (unreadable != 0)
        why += (why.empty() ? "" : "; ") + std::to_string(unreadable) + " bytes could not be read (" +
               ZelErrorText(error) + ") and are zeros";
    if (missing != 0)
        why += (why.empty() ? "" : "; ") + std::to_string(missing) + " bytes of its data could not be followed; " +
               "the file stops there";
    report.reason = ZelNarrowToWide(why);
    Report(progress, 1.0);
    return 0;
}
