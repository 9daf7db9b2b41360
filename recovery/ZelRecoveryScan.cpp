#include "jexrecovery/ZelRecoveryScan.h"

#include "jexcommon/ZelText.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_map>

bool CZelRecoveryScan::Prepare(const std::string& volume, std::string& error)
{
    m_Volume = volume;
    m_Found.clear();
    std::wstring reason;
    // A deep search also takes a volume whose file system is gone.
    const std::wstring wide = ZelNarrowToWide(volume);
    boost::shared_ptr<CZelFileSystem> fileSystem = m_Deep ? m_Creator.CreateFileSystemForDeepSearch(wide.c_str(), reason)
                                                          : m_Creator.CreateFileSystemEx(wide.c_str(), reason);
    {
        std::lock_guard<std::mutex> hold(m_Lock);
        m_pFileSystem = fileSystem;
    }
    if (!m_pFileSystem) {
        error = reason.empty() ? volume + ": cannot be searched" : ZelWideToNarrow(reason);
        return false;
    }
    return true;
}

void CZelRecoveryScan::Stop()
{
    m_StopAsked = true;
    std::lock_guard<std::mutex> hold(m_Lock);
    if (m_pFileSystem)
        m_pFileSystem->StopSearch();
}

bool CZelRecoveryScan::Search(const boost::shared_ptr<CZelCheckFile>& filter, std::string& error)
{
    m_Found.clear();
    m_Unreadable = 0;
    m_UnreadableBytes = 0;
    m_BytesRead = 0;
    m_Stopped = false;
    m_Notice.clear();
    if (!m_pFileSystem) {
        error = m_Volume + ": no volume is prepared";
        return false;
    }
    // Stopped before it began: nothing is searched.
    if (m_StopAsked) {
        m_Stopped = true;
        return true;
    }
    std::wstring volume = ZelNarrowToWide(m_Volume);
    CZelScanReport report;
    m_pFileSystem->Open(volume.c_str(), 0);
    ZELRESULT result = m_pFileSystem->FindDeletedEx(
        volume.c_str(), (m_Deep ? 1 | kZelSearchDeep : 1) | (m_Streams ? kZelSearchStreams : 0), filter, report);
    m_Unreadable = report.unreadableStretches;
    m_UnreadableBytes = report.unreadableBytes;
    m_BytesRead = report.bytesRead;
    m_Notice = ZelWideToNarrow(report.notice);
    m_Stopped = report.stopped;
    if (result != ZEL_S_OK) {
        error = report.reason.empty() ? m_Volume + ": the search failed" : ZelWideToNarrow(report.reason);
        return false;
    }
    boost::shared_ptr<CZelEntityIterator> it = m_pFileSystem->GetIterator();
    // Counted first, so that the list is made once at its size rather than
    // grown (and copied) as it fills.
    size_t count = 0;
    for (it->First(); !it->IsDone(); it->Next())
        ++count;
    m_Found.reserve(count);
    uint64_t files = 0;
    for (it->First(); !it->IsDone(); it->Next()) {
        boost::shared_ptr<CZelFSFileEntry> entry = it->CurrentItem();
        if (!entry)
            continue;
        CZelFoundEntry found;
        found.directory = entry->GetType() == ZelEntryDirectory;
        found.index = found.directory ? 0 : ++files;
        found.name = ZelWideToNarrow(entry->GetName());

        if (auto file = boost::dynamic_pointer_cast<CZelFSFile>(entry)) {
            found.size = file->GetSize();
            found.estimate = file->GetRecoveryEstimate();
            found.carvedType = file->GetCarvedType();
            found.stream = file->GetStreamName();
        }
        found.deleted = entry->IsDeleted();
        found.entry = entry;
        m_Found.push_back(std::move(found));
    }
    // Each named stream is tied to its file, whose path is its own without
    // ":stream".
    if (std::none_of(m_Found.begin(), m_Found.end(), [](const CZelFoundEntry& e) { return !e.stream.empty(); }))
        return true;
    std::unordered_map<std::string, const CZelFoundEntry*> byPath;
    for (const CZelFoundEntry& file : m_Found)
        if (file.stream.empty() && !file.directory)
            byPath.emplace(file.Path(), &file);
    for (CZelFoundEntry& found : m_Found) {
        if (found.stream.empty())
            continue;
        const std::string path = found.Path();
        auto file = byPath.find(path.substr(0, path.size() - std::min(path.size(), found.stream.size() + 1)));
        found.streamOf = file != byPath.end() ? file->second : nullptr;
    }
    return true;
}

bool CZelRecoveryScan::SearchShowingProgress(const boost::shared_ptr<CZelCheckFile>& filter, std::string& error,
                                             const std::function<void(double)>& report)
{
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    bool ok = false;
    std::string reason;
    std::thread worker([&] {
        bool result = Search(filter, reason);
        std::lock_guard<std::mutex> hold(lock);
        ok = result;
        done = true;
        ended.notify_one();
    });
    // The end of the search is noticed at once, not at the next report.
    {
        std::unique_lock<std::mutex> hold(lock);
        while (!ended.wait_for(hold, std::chrono::milliseconds(100), [&] { return done; })) {
            hold.unlock();
            if (report)
                report(Progress());
            hold.lock();
        }
    }
    worker.join();
    if (!ok)
        error = reason;
    return ok;
}

double CZelRecoveryScan::Progress() const
{
    return m_pFileSystem ? m_pFileSystem->GetProgress() : 0.0;
}
