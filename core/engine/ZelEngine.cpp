#include "engine/ZelEngine.h"

#include "engine/ZelCountingSource.h"
#include "engine/ZelFileSink.h"
#include "engine/ZelFoundIterator.h"
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
    ReleaseLocked();
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
    if (!IsOpenLocked())
        // Why the volume could not be opened was kept by Open.
        error = m_OpenError.empty() ? volume + ": no volume is open" : m_OpenError;
    else
        result = ScanLocked(volume, mode, filter, error);
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

int32_t CZelEngine::RestoreChecked(CZelRestoreSink* sink, const CZelEngineRecord* record,
                                   const CZelProgressCallbackPtr& progress, CZelRestoreReport& report)
{
    report = CZelRestoreReport();
    int32_t result = kZelNotThisEngine;
    if (sink != nullptr && record != nullptr && IsOpenLocked())
        result = RestoreLocked(*sink, *record, progress, report);
    if (result == kZelNotThisEngine && report.reason.empty())
        report.reason = sink == nullptr ? L"no destination" : L"not a file this search found";
    return result;
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
