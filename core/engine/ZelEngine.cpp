#include "engine/ZelEngine.h"

#include "engine/ZelCountingSource.h"
#include "engine/ZelFileSink.h"
#include "engine/ZelFoundIterator.h"
#include "engine/ZelFreeClusters.h"
#include "engine/ZelRestoreVerdict.h"
#include "engine/ZelVolumeCopy.h"
#include "jexcommon/ZelText.h"
#include "jexplatform/VolumePath.h"

#include <boost/make_shared.hpp>

#include <algorithm>
#include <memory>

int32_t CZelEngine::Open(const char* volumePath, int32_t blockSize)
{
    std::lock_guard<std::mutex> engine(m_EngineLock);
    CloseLocked();
    m_OpenError.clear();
    SetLastError(std::string());
    std::string path = volumePath != nullptr ? volumePath : "";
    {
        boost::mutex::scoped_lock lock(m_StateLock);
        m_VolumePath = path;
    }
    std::string error;
    int32_t result = -1;
    m_BytesRead = 0;
    if (path.empty())
        error = "no volume path";
    else
        result = OpenLocked(path, blockSize, error);
    m_OpenBytes = m_BytesRead;
    if (result != 0) {
        m_OpenError = error;
        SetLastError(error);
    }
    return result;
}

void CZelEngine::Close()
{
    std::lock_guard<std::mutex> engine(m_EngineLock);
    CloseLocked();
}

void CZelEngine::CloseLocked()
{
    m_Generation.Advance();
    m_Carved.Clear();
    m_pRawSource.reset();
    ReleaseLocked();
}

bool CZelEngine::SearchRaw(const std::string& volume, const std::string& why)
{
    std::string reason;
    std::unique_ptr<CZelVolumeSource> source = OpenSource(volume, reason);
    if (!source)
        return false;
    // What the failed scan handed over is no use: the volume is read anew,
    // sector by sector.
    // Every sector is a cluster of the walk, so that one that cannot be
    // read costs itself alone.
    constexpr uint64_t kSector = 512;
    m_pCarver = std::make_unique<CZelCarver>(kSector, 0);
    const uint64_t size = source->Size();
    if (size == 0)
        return false;
    CZelFreeClusterWalk walk;
    walk.first = 0;
    walk.last = (size - 1) / kSector;
    walk.clusterSize = kSector;
    walk.volumeEnd = size;
    walk.wanted = [](uint64_t) { return true; };
    walk.nextWanted = [](uint64_t c) { return c; };
    walk.offsetOf = [](uint64_t c) { return c * kSector; };
    walk.take = [](uint64_t, const uint8_t*, size_t) {};
    walk.unreadable = [this](uint64_t, size_t count, const CZelRead&) { CountUnreadable(count); };
    walk.progress = [this, size](uint64_t sectors) {
        SetProgress(std::min(1.0, static_cast<double>(sectors * kSector) / static_cast<double>(size)));
    };
    walk.stop = [this] { return m_StopRequested.load(); };
    walk.carver = m_pCarver.get();
    CZelRead gone;
    if (!ZelWalkFreeClusters(*source, walk, gone))
        return false;
    // Nothing found: why the file system could not be read says more.
    m_pCarver->Finish();
    if (m_pCarver->Files().empty())
        return false;
    m_pRawSource = std::move(source);
    SetNotice(why + "; its files were searched for by their signatures alone");
    return true;
}

bool CZelEngine::Listed(size_t index, CZelListedEntry& entry)
{
    const size_t own = OwnListedCount();
    return index < own ? OwnListed(index, entry) : m_Carved.Listed(index - own, own, entry);
}

std::string CZelEngine::GetRootName()
{
    boost::mutex::scoped_lock lock(m_StateLock);
    return ZelRootName(m_VolumePath);
}

int32_t CZelEngine::FindDeleted(const char* volumePath, uint8_t mode, CZelEngineCheckFile* filter, bool deep)
{
    std::lock_guard<std::mutex> engine(m_EngineLock);
    m_Generation.Advance();
    SetProgress(0.0);
    m_Deep = deep;
    m_StopRequested = false;
    m_Stopped = false;
    m_BytesRead = m_OpenBytes;
    m_OpenBytes = 0;
    {
        boost::mutex::scoped_lock lock(m_StateLock);
        m_Unreadable = 0;
        m_UnreadableBytes = 0;
        m_Notice.clear();
    }
    std::string volume = volumePath != nullptr ? volumePath : "";
    std::string error;
    int32_t result = -1;
    m_Carved.Clear();
    m_pRawSource.reset();
    // Sectors until the engine knows where its clusters start.
    m_pCarver = deep ? std::make_unique<CZelCarver>(512, 0) : nullptr;
    if (!IsOpenLocked())
        // Why the volume could not be opened was kept by Open.
        error = m_OpenError.empty() ? volume + ": no volume is open" : m_OpenError;
    else
        result = ScanLocked(volume, mode, filter, error);
    // A file system that cannot be read at all still holds its files' bytes:
    // a deep search reads the whole volume for their signatures.
    if (deep && result != 0 && !volume.empty() && !m_StopRequested && SearchRaw(volume, error))
        result = 0;
    if (m_pCarver && result == 0) {
        m_pCarver->Finish();
        std::vector<std::pair<uint64_t, uint64_t>> ranges;
        if (!m_pRawSource)
            ClaimedRanges(ranges);
        m_pCarver->Settle(std::move(ranges));
        m_Carved.Take(*m_pCarver, filter);
        if (m_pCarver->Full())
            SetNotice(GetNotice() + (GetNotice().empty() ? "" : "; ") +
                      "the signature search found more files than it keeps and kept the first 1,000,000");
        if (m_pRawSource)
            error.clear();
    }
    m_pCarver.reset();
    m_Stopped = m_StopRequested.load();
    m_StopRequested = false;
    SetLastError(error);
    return result;
}

uint64_t CZelEngine::GetUnreadableCount()
{
    boost::mutex::scoped_lock lock(m_StateLock);
    return m_Unreadable;
}

uint64_t CZelEngine::GetUnreadableBytes()
{
    boost::mutex::scoped_lock lock(m_StateLock);
    return m_UnreadableBytes;
}

std::string CZelEngine::GetNotice()
{
    boost::mutex::scoped_lock lock(m_StateLock);
    return m_Notice;
}

void CZelEngine::SetNotice(const std::string& text)
{
    boost::mutex::scoped_lock lock(m_StateLock);
    m_Notice = text;
}

void CZelEngine::CountUnreadable(uint64_t bytes)
{
    boost::mutex::scoped_lock lock(m_StateLock);
    ++m_Unreadable;
    m_UnreadableBytes += bytes;
}

void CZelEngine::SetVolumeOpener(ZelVolumeOpener opener)
{
    std::lock_guard<std::mutex> engine(m_EngineLock);
    m_Opener = std::move(opener);
}

std::unique_ptr<CZelVolumeSource> CZelEngine::OpenSource(const std::string& path, std::string& error)
{
    std::unique_ptr<CZelVolumeSource> source = m_Opener ? m_Opener(path, error) : ZelOpenVolumeSource(path, error);
    if (!source)
        return nullptr;
    m_VolumeBytes = source->Size();
    return std::make_unique<CZelCountingSource>(std::move(source), m_BytesRead);
}

boost::shared_ptr<CZelEntityIterator> CZelEngine::CreateIterator()
{
    return boost::make_shared<CZelFoundIterator>(shared_from_this());
}

boost::shared_ptr<CZelEntityIterator> CZelEngine::GetIterator()
{
    return CreateIterator();
}

int32_t CZelEngine::RestoreFile(const char* destination, const CZelEngineRecord* record,
                                const CZelProgressCallbackPtr& progress, CZelRestoreReport& report)
{
    std::unique_ptr<CZelFileSink> file = destination != nullptr ? std::make_unique<CZelFileSink>(destination) : nullptr;
    std::lock_guard<std::mutex> engine(m_EngineLock);
    return RestoreChecked(file.get(), record, progress, report);
}

int32_t CZelEngine::RestoreCurrentFile(uint64_t generation, CZelRestoreSink& sink, const CZelEngineRecord* record,
                                       const CZelProgressCallbackPtr& progress, CZelRestoreReport& report)
{
    report = CZelRestoreReport();
    std::lock_guard<std::mutex> engine(m_EngineLock);
    if (generation != m_Generation.Current()) {
        report.reason = L"the search that found this file has ended";
        return kZelStaleRecord;
    }
    return RestoreChecked(&sink, record, progress, report);
}

std::string CZelEngine::RecordNote(uint64_t generation, const CZelEngineRecord* record)
{
    std::lock_guard<std::mutex> engine(m_EngineLock);
    return record != nullptr && generation == m_Generation.Current() ? record->GetRecoveryNote() : std::string();
}

uint64_t CZelEngine::DataOffset(uint64_t generation, const CZelEngineRecord* record)
{
    std::lock_guard<std::mutex> engine(m_EngineLock);
    if (record == nullptr || generation != m_Generation.Current())
        return kZelNoDataOffset;
    if (const CZelCarvedRecord* carved = m_Carved.Find(*record))
        return carved->File().offset;
    return IsOpenLocked() ? DataOffsetLocked(*record) : kZelNoDataOffset;
}

void CZelEngine::WillRestore(uint64_t generation, uint64_t offset, uint64_t bytes)
{
    // On a volume the scan found failing, the device reads only what is
    // asked for: reading ahead would spend its retries where no one waits.
    if (bytes == 0 || offset == kZelNoDataOffset || GetUnreadableCount() != 0)
        return;
    std::lock_guard<std::mutex> engine(m_EngineLock);
    if (generation != m_Generation.Current())
        return;
    CZelVolumeSource* source = m_pRawSource ? m_pRawSource.get() : ScannedSource();
    if (source != nullptr)
        source->WillRead(offset, bytes);
}

int32_t CZelEngine::RestoreChecked(CZelRestoreSink* sink, const CZelEngineRecord* record,
                                   const CZelProgressCallbackPtr& progress, CZelRestoreReport& report)
{
    report = CZelRestoreReport();
    int32_t result = kZelNotThisEngine;
    const CZelCarvedRecord* carved = record != nullptr ? m_Carved.Find(*record) : nullptr;
    // A file found by its signature is read from the volume as the search
    // read it, which a file system that could not be opened does not stop.
    if (sink != nullptr && carved != nullptr)
        result = RestoreCarved(*sink, *carved, progress, report);
    else if (sink != nullptr && record != nullptr && IsOpenLocked())
        result = RestoreLocked(*sink, *record, progress, report);
    if (result == kZelNotThisEngine && report.reason.empty())
        report.reason = sink == nullptr ? L"no destination" : L"not a file this search found";
    return result;
}

int32_t CZelEngine::RestoreCarved(CZelRestoreSink& out, const CZelCarvedRecord& record,
                                  const CZelProgressCallbackPtr& progress, CZelRestoreReport& report)
{
    CZelVolumeSource* source = m_pRawSource ? m_pRawSource.get() : ScannedSource();
    if (source == nullptr)
        return kZelNotThisEngine;
    // A restored file never replaces an existing one.
    if (!out.Open(0666)) {
        report.reason = ZelNarrowToWide(out.Error());
        return 0;
    }
    const CZelCarvedFile& file = record.File();
    const uint32_t block = source->SectorSize() >= 512 ? source->SectorSize() : 512;
    CZelVolumeCopy copy(*source, block, out, progress, file.length);
    const CZelVolumeCopy::End end = copy.Copy(file.offset, file.length);
    if (end == CZelVolumeCopy::End::Vanished || end == CZelVolumeCopy::End::WriteFailed) {
        copy.Fail(report, copy.Reason());
        return 0;
    }
    if (!out.Commit()) {
        copy.Fail(report, out.Error());
        return 0;
    }
    CZelRestoreVerdict verdict(record.GetRecoveryEstimate(), record.GetRecoveryNote());
    if (copy.Unreadable() != 0)
        verdict.ShortBy(copy.Unreadable(), copy.UnreadableText());
    if (copy.Written() < file.length)
        verdict.ShortBy(file.length - copy.Written(), "the volume ends before the file does");
    verdict.Judge(report);
    ZelReportProgress(progress, 1.0);
    return 0;
}

double CZelEngine::GetProgress()
{
    boost::mutex::scoped_lock lock(m_StateLock);
    return m_Progress;
}

void CZelEngine::SetProgress(double value)
{
    boost::mutex::scoped_lock lock(m_StateLock);
    m_Progress = std::min(1.0, std::max(0.0, value));
}

uint64_t CZelEngine::GetGeneration()
{
    return m_Generation.Current();
}

std::string CZelEngine::GetLastError()
{
    boost::mutex::scoped_lock lock(m_StateLock);
    return m_LastError;
}

void CZelEngine::SetLastError(const std::string& error)
{
    boost::mutex::scoped_lock lock(m_StateLock);
    m_LastError = error;
}
