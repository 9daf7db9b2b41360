#include "fat32/Fat32Wrapper.h"

#include "platform/OutputFile.h"
#include "platform/VolumePath.h"

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

int32_t CFat32Wrapper::Open(const char* volumePath, int32_t blockSize)
{
    std::lock_guard<std::mutex> engine(m_EngineLock);
    CloseLocked();
    if (volumePath == nullptr)
        return -1;
    m_VolumePath = CZelStringA(volumePath);
    m_pReader = std::make_unique<CBlockReader>(blockSize);
    CMUNdelete::ProgressSink sink;
    sink.volumeSize = [this](uint64_t size) { PublishVolumeSize(size); };
    sink.position = [this](uint64_t position) { PublishPosition(position); };
    m_pScanner = std::make_unique<CMUNdelete>(*m_pReader, std::move(sink));
    boost::mutex::scoped_lock lock(m_ProgressLock);
    m_ScanPosition = 0;
    return 0;
}

void CFat32Wrapper::Close()
{
    std::lock_guard<std::mutex> engine(m_EngineLock);
    CloseLocked();
}

void CFat32Wrapper::CloseLocked()
{
    m_Generation.Advance();
    m_pScanner.reset();
    m_pReader.reset();
}

std::string CFat32Wrapper::GetRootName()
{
    const char* path = m_VolumePath.GetBuffer();
    return ZelRootName(path != nullptr ? path : "");
}

int32_t CFat32Wrapper::FindDeleted(const char* volumePath, uint8_t mode, CFat32CheckFile* filter)
{
    std::lock_guard<std::mutex> engine(m_EngineLock);
    m_Generation.Advance();
    m_LastError.clear();
    {
        boost::mutex::scoped_lock lock(m_ProgressLock);
        m_ScanPosition = 0;
        m_VolumeSize = 0;
        m_Progress = 0.0;
    }
    if (!m_pScanner || !m_pReader) {
        m_LastError = std::string(volumePath != nullptr ? volumePath : "") + ": no volume is open";
        return -1;
    }
    std::string path = volumePath != nullptr ? volumePath : "";
    return m_pScanner->Scan(path, mode, filter, m_LastError);
}

uint32_t CFat32Wrapper::GetEntryCount()
{
    return m_pScanner && m_pReader ? m_pScanner->GetEntryCount() : 0;
}

const CDirEntryInterface* CFat32Wrapper::GetEntry(uint32_t index)
{
    return m_pScanner && m_pReader ? m_pScanner->GetEntry(index) : nullptr;
}

int32_t CFat32Wrapper::RestoreFile(const char* destination, const CDirEntryInterface* entry,
                                   CZelProgressCallbackPtr progress)
{
    std::lock_guard<std::mutex> engine(m_EngineLock);
    return Restore(destination, entry, progress);
}

int32_t CFat32Wrapper::RestoreCurrentFile(uint64_t generation, const char* destination,
                                          const CDirEntryInterface* entry, CZelProgressCallbackPtr progress)
{
    std::lock_guard<std::mutex> engine(m_EngineLock);
    if (generation != m_Generation.Current())
        return kZelStaleRecord;
    return Restore(destination, entry, progress);
}

int32_t CFat32Wrapper::Restore(const char* destination, const CDirEntryInterface* entry,
                               const CZelProgressCallbackPtr& progress)
{
    const CDirEntry* node = dynamic_cast<const CDirEntry*>(entry);
    if (node == nullptr || destination == nullptr || !m_pReader || !m_pReader->isOpen())
        return -2;
    if (node->GetType() != FatEntryFile)
        return -2;

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

double CFat32Wrapper::GetProgress()
{
    boost::mutex::scoped_lock lock(m_ProgressLock);
    return m_Progress;
}

uint64_t CFat32Wrapper::GetGeneration()
{
    return m_Generation.Current();
}

std::string CFat32Wrapper::GetLastError()
{
    return m_LastError;
}

void CFat32Wrapper::PublishVolumeSize(uint64_t size)
{
    boost::mutex::scoped_lock lock(m_ProgressLock);
    m_VolumeSize = size;
}

void CFat32Wrapper::PublishPosition(uint64_t position)
{
    boost::mutex::scoped_lock lock(m_ProgressLock);
    m_ScanPosition = position;
    m_Progress = m_VolumeSize == 0 ? 0.0 : std::min(1.0, static_cast<double>(position) / static_cast<double>(m_VolumeSize));
}
