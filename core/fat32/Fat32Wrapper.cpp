#include "fat32/Fat32Wrapper.h"

#include "fat32/ZelIteratorFat32Standart.h"
#include "jexcommon/ZelText.h"
#include "jexplatform/OutputFile.h"

#include <boost/make_shared.hpp>

#include <algorithm>
#include <unistd.h>
#include <vector>

namespace {

// Data is copied in chunks of this size: large enough that whole sectors
// go straight from the device to the destination.
constexpr size_t kRestoreChunk = 1 << 20;

void Report(const CZelProgressCallbackPtr& progress, double fraction)
{
    if (progress)
        progress->Fire(std::min(1.0, std::max(0.0, fraction)));
}

} // namespace

CFat32Wrapper::~CFat32Wrapper()
{
    Close();
}

bool CFat32Wrapper::IsOpenLocked() const
{
    return m_pScanner && m_pReader;
}

int32_t CFat32Wrapper::OpenLocked(const std::string& /*volumePath*/, int32_t blockSize, std::string& /*error*/)
{
    m_pReader = std::make_unique<CBlockReader>(blockSize);
    CMUNdelete::ProgressSink sink;
    sink.volumeSize = [this](uint64_t size) { m_VolumeSize = size; };
    sink.position = [this](uint64_t position) { PublishPosition(position); };
    sink.unreadable = [this]() { CountUnreadable(); };
    m_pScanner = std::make_unique<CMUNdelete>(*m_pReader, std::move(sink));
    return 0;
}

void CFat32Wrapper::ReleaseLocked()
{
    m_pScanner.reset();
    m_pReader.reset();
}

int32_t CFat32Wrapper::ScanLocked(const std::string& volumePath, uint8_t mode, CZelEngineCheckFile* filter,
                                  std::string& error)
{
    m_VolumeSize = 0;
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

uint32_t CFat32Wrapper::GetEntryCount()
{
    return m_pScanner && m_pReader ? m_pScanner->GetEntryCount() : 0;
}

const CDirEntryInterface* CFat32Wrapper::GetEntry(uint32_t index)
{
    return m_pScanner && m_pReader ? m_pScanner->GetEntry(index) : nullptr;
}

boost::shared_ptr<CZelEntityIterator> CFat32Wrapper::CreateIterator()
{
    return boost::make_shared<CZelIteratorFat32Standart>(boost::static_pointer_cast<CFat32Wrapper>(shared_from_this()));
}

int32_t CFat32Wrapper::RestoreLocked(const char* destination, const CZelEngineRecord& record,
                                     const CZelProgressCallbackPtr& progress, CZelRestoreReport& report)
{
    const CDirEntry* node = dynamic_cast<const CDirEntry*>(&record);
    if (node == nullptr || !m_pReader->isOpen() || node->GetType() != FatEntryFile)
        return kZelNotThisEngine;

    // A restored file never replaces an existing one.
    CZelOutputFile out;
    if (!out.Create(destination, 0666)) {
        report.reason = ZelNarrowToWide(out.Error());
        return 0;
    }
    const uint64_t size = node->GetSize();
    const uint32_t block = m_pReader->blockSize() >= 2 ? static_cast<uint32_t>(m_pReader->blockSize()) : 512;
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(size, kRestoreChunk)));
    bool inside = node->GetDataOffset() != CDirEntry::kNoData;
    uint64_t position = node->GetDataOffset();
    uint64_t remaining = size;
    uint64_t unreadable = 0, missing = 0;
    int error = 0;
    while (remaining > 0) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(remaining, kRestoreChunk));
        size_t delivered = 0;
        if (inside) {
            CZelSalvagedRead read = ZelReadSalvaging(*m_pReader, position, buffer.data(), chunk, block);
            if (read.vanished) {
                report.reason = ZelNarrowToWide(m_pReader->Path() + ": the device is gone (" + ZelErrorText(read.error) + ")");
                return 0;
            }
            delivered = read.bytes;
            unreadable += read.unreadable;
            if (read.error != 0)
                error = read.error;
        }
        // What the volume does not hold (a size past its end) is zeros,
        // left as a gap.
        if (delivered < chunk) {
            inside = false;
            missing += chunk - delivered;
        }
        if ((delivered != 0 && !out.Write(buffer.data(), delivered)) ||
            (delivered < chunk && !out.Skip(chunk - delivered))) {
            report.reason = ZelNarrowToWide(out.Error());
            return 0;
        }
        position += chunk;
        remaining -= chunk;
        Report(progress, 1.0 - static_cast<double>(remaining) / static_cast<double>(size));
    }
    if (!out.Commit()) {
        report.reason = ZelNarrowToWide(out.Error());
        return 0;
    }
    report.unreadableBytes = unreadable + missing;
    report.verdict = report.unreadableBytes == 0 ? ZelRestored : ZelRestoredPartly;
    std::string why;
    if (unreadable != 0)
        why = std::to_string(unreadable) + " bytes could not be read (" + ZelErrorText(error) + ") and are zeros";
    if (missing != 0)
        why += (why.empty() ? "" : "; ") +
               (node->GetDataOffset() == CDirEntry::kNoData
                    ? std::string("its first cluster lies outside the volume's data: its ") + std::to_string(missing) +
                          " bytes are zeros"
                    : "the volume ends " + std::to_string(missing) + " bytes before the file does; they are zeros");
    report.reason = ZelNarrowToWide(why);
    Report(progress, 1.0);
    return 0;
}

void CFat32Wrapper::PublishPosition(uint64_t position)
{
    SetProgress(m_VolumeSize == 0 ? 0.0 : static_cast<double>(position) / static_cast<double>(m_VolumeSize));
}
