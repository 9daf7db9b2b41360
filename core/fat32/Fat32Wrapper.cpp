#include "fat32/Fat32Wrapper.h"

#include "fat32/ZelIteratorFat32Standart.h"
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
                                     const CZelProgressCallbackPtr& progress)
{
    const CDirEntry* node = dynamic_cast<const CDirEntry*>(&record);
    if (node == nullptr || !m_pReader->isOpen() || node->GetType() != FatEntryFile)
        return kZelNotThisEngine;

    bool positioned = node->GetDataOffset() != CDirEntry::kNoData &&
                      m_pReader->seek(static_cast<int64_t>(node->GetDataOffset()), CBlockReader::kFromStart) !=
                          CBlockReader::kInvalidPosition;
    // A restored file never replaces an existing one.
    int fd = ZelCreateNewFile(destination, 0666);
    if (fd < 0)
        return -1;

    const uint64_t size = node->GetSize();
    std::vector<uint8_t> buffer(static_cast<size_t>(std::min<uint64_t>(size, kRestoreChunk)));
    uint64_t remaining = size;
    bool ok = true;
    while (remaining > 0) {
        size_t chunk = static_cast<size_t>(std::min<uint64_t>(remaining, kRestoreChunk));
        int64_t got = positioned ? m_pReader->read(chunk, buffer.data()) : 0;
        size_t delivered = got > 0 ? static_cast<size_t>(got) : 0;
        // What the volume does not hold (a size past its end) reads as zeros.
        std::fill(buffer.begin() + static_cast<std::ptrdiff_t>(delivered),
                  buffer.begin() + static_cast<std::ptrdiff_t>(chunk), 0);
        if (delivered < chunk)
            positioned = false;
        if (!ZelWriteAll(fd, buffer.data(), chunk)) {
            ok = false;
            break;
        }
        remaining -= chunk;
        Report(progress, 1.0 - static_cast<double>(remaining) / static_cast<double>(size));
    }
    if (::close(fd) != 0)
        ok = false;
    if (!ok)
        return -1;
    Report(progress, 1.0);
    return 0;
}

void CFat32Wrapper::PublishPosition(uint64_t position)
{
    SetProgress(m_VolumeSize == 0 ? 0.0 : static_cast<double>(position) / static_cast<double>(m_VolumeSize));
}
