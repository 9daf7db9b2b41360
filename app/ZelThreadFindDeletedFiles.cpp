#include "ZelThreadFindDeletedFiles.h"

#include "LanguageTable.h"
#include "RestoreOwner.h"
#include "jexrecovery/ZelRestoreRun.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <chrono>
#include <functional>
#include <filesystem>
#include <system_error>

namespace {

// Tells the worker of each file the run begins and ends, by its number
// among the files, and of the progress of the file it restores.
class CRestoreRelay : public CZelRestoreObserver {
public:
    std::function<void(size_t)> begin;
    std::function<void(double)> progress;
    std::function<void(size_t, const CZelRestoreOutcome&)> end;
    std::function<bool()> stopped;

    void Begin(size_t number, size_t /*total*/, const std::string& /*name*/) override { begin(number - 1); }
    void Progress(double fraction) override { progress(fraction); }
    void End(size_t number, const CZelRestoreOutcome& outcome) override { end(number - 1, outcome); }
    bool Stopped() override { return stopped(); }
};

// Makes folder with every missing parent; the folders made, top first.
std::vector<std::string> MakeFolders(const std::filesystem::path& folder, std::error_code& failed)
{
    std::vector<std::string> missing;
    for (std::filesystem::path p = folder; !p.empty() && !std::filesystem::exists(p, failed); p = p.parent_path()) {
        missing.insert(missing.begin(), p.string());
        if (p == p.parent_path())
            break;
    }
    std::filesystem::create_directories(folder, failed);
    return missing;
}

} // namespace

bool CZelThreadFindDeletedFiles::Start(const QString& volume, QObject* window, boost::shared_ptr<CZelCheckFile> filter,
                                       bool deep)
{
    Stop();
    if (m_Stopping || m_Thread.joinable())
        return false;
    m_pWindow = window;
    m_Volume = volume;
    m_pFilter = std::move(filter);
    m_Deep = deep;
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_pFileSystem.reset();
        m_SearchError.clear();
        m_Outcomes.clear();
    }
    m_Scan.reset();
    m_GoFlag = 0;
    m_StopFlag = 0;
    m_Positions.clear();
    m_Destination.clear();
    m_Finished = false;
    m_Thread = std::thread(&CZelThreadFindDeletedFiles::ThreadProc, this);
    return true;
}

void CZelThreadFindDeletedFiles::Stop()
{
    if (!m_Thread.joinable())
        return;
    int32_t zero = 0;
    m_GoFlag.compare_exchange_strong(zero, 1);
    zero = 0;
    m_StopFlag.compare_exchange_strong(zero, 1);
    StopSearch();
    // Called again from an event handled by the wait below: the first call
    // waits and joins.
    if (m_Stopping)
        return;
    m_Stopping = true;
    // The worker may wait for the window to handle a message: on the
    // window's thread, its events go on being handled meanwhile.
    bool windowThread = m_pWindow && QThread::currentThread() == m_pWindow->thread();
    while (windowThread && !m_Finished) {
        // Posted events straight away: called from a posted event itself,
        // the event loop would not deliver the worker's calls to the window
        // again (its source of posted events does not recurse), and the
        // worker would wait for ever.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    m_Thread.join();
    m_Stopping = false;
}

CZelThreadFindDeletedFiles::~CZelThreadFindDeletedFiles()
{
    Stop();
    // A Stop that left the wait to another one still waiting: the thread
    // is joined here all the same.
    if (m_Thread.joinable()) {
        m_GoFlag = 1;
        m_StopFlag = 1;
        m_Thread.join();
    }
}

void CZelThreadFindDeletedFiles::Go(std::vector<uint32_t> positions, const QString& destination)
{
    // Written before the flag rises; the worker reads them only after.
    m_Positions = std::move(positions);
    m_Destination = destination.toStdString();
    int32_t zero = 0;
    m_GoFlag.compare_exchange_strong(zero, 1);
}

void CZelThreadFindDeletedFiles::StopSearch()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    if (m_pRunning != nullptr)
        m_pRunning->Stop();
}

void CZelThreadFindDeletedFiles::RequestStop()
{
    int32_t zero = 0;
    m_StopFlag.compare_exchange_strong(zero, 1);
}

boost::shared_ptr<CZelFileSystem> CZelThreadFindDeletedFiles::FileSystem() const
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_pFileSystem;
}

std::string CZelThreadFindDeletedFiles::SearchError() const
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_SearchError;
}

CZelRestoreOutcome CZelThreadFindDeletedFiles::Outcome(size_t index) const
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return index < m_Outcomes.size() ? m_Outcomes[index] : CZelRestoreOutcome();
}

void CZelThreadFindDeletedFiles::Tell(const char* slot, Qt::ConnectionType type)
{
    if (m_pWindow)
        QMetaObject::invokeMethod(m_pWindow, slot, type);
}

void CZelThreadFindDeletedFiles::Tell(const char* slot, Qt::ConnectionType type, int index)
{
    if (m_pWindow)
        QMetaObject::invokeMethod(m_pWindow, slot, type, Q_ARG(int, index));
}

void CZelThreadFindDeletedFiles::ThreadProc()
{
    auto scan = std::make_unique<CZelRecoveryScan>(m_Creator);
    scan->SetDeep(m_Deep);
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_pRunning = scan.get();
    }
    // Asked to end before the search began: it finds nothing.
    if (m_StopFlag != 0)
        scan->Stop();
    std::string error;
    // A volume that went away since the window probed it: nothing is found.
    bool prepared = scan->Prepare(m_Volume.toStdString(), error);
    if (prepared) {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_pFileSystem = scan->FileSystem();
    }
    if (prepared && !scan->Search(m_pFilter, error))
        prepared = false;
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_SearchError = prepared ? std::string() : error;
        m_pRunning = nullptr;
    }
    m_Scan = std::move(scan);
    Tell("OnSearchDone", Qt::QueuedConnection);

    while (m_GoFlag == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (prepared && m_StopFlag == 0)
        RestoreList();
    if (m_pWindow)
        QMetaObject::invokeMethod(m_pWindow, "OnRestoreFinished", Qt::QueuedConnection,
                                  Q_ARG(bool, m_StopFlag != 0));
    m_Finished = true;
}

void CZelThreadFindDeletedFiles::RestoreList()
{
    // Only ever into the destination folder: with none, nothing is written.
    if (m_Destination.empty() || m_Positions.empty())
        return;
    {
        std::lock_guard<std::mutex> lock(m_Lock);
        m_Outcomes.assign(m_Positions.size(), CZelRestoreOutcome());
    }
    const CZelRestoreOwner owner = ZelRestoreOwner();
    std::error_code failed;
    for (const std::string& made : MakeFolders(m_Destination, failed))
        ZelGiveTo(owner, made);
    // What is no file (a folder, or a position the list no longer has) is
    // told as skipped first; the files go through one run, batched and in
    // the order the volume holds them, each told as it begins and ends.
    const std::vector<CZelFoundEntry>& found = m_Scan->Found();
    std::vector<const CZelFoundEntry*> files;
    std::vector<int> rows;
    for (size_t i = 0; i < m_Positions.size(); ++i) {
        const uint32_t position = m_Positions[i];
        if (position < found.size() && !found[position].directory) {
            files.push_back(&found[position]);
            rows.push_back(static_cast<int>(i));
            continue;
        }
        CZelRestoreOutcome outcome;
        outcome.source = position < found.size() ? found[position].Path() : std::string();
        outcome.result = ZelRestoreResult::Skipped;
        outcome.reason = GetQText(position < found.size() ? 51 : 52).toStdString();
        {
            std::lock_guard<std::mutex> lock(m_Lock);
            m_Outcomes[i] = outcome;
        }
        Tell("OnRestoreBegin", Qt::BlockingQueuedConnection, static_cast<int>(i));
        Tell("OnRestoreEnd", Qt::BlockingQueuedConnection, static_cast<int>(i));
    }
    CRestoreRelay relay;
    relay.begin = [&](size_t k) {
        Tell("OnRestoreBegin", Qt::BlockingQueuedConnection, rows[k]);
        m_LastPercent = -1;
    };
    relay.progress = [this](double fraction) { OnRestoreProgress(fraction); };
    relay.end = [&](size_t k, const CZelRestoreOutcome& outcome) {
        if (outcome.result != ZelRestoreResult::Failed)
            ZelGiveTo(owner, outcome.destination);
        {
            std::lock_guard<std::mutex> lock(m_Lock);
            m_Outcomes[static_cast<size_t>(rows[k])] = outcome;
        }
        Tell("OnRestoreEnd", Qt::BlockingQueuedConnection, rows[k]);
    };
    relay.stopped = [this] { return m_StopFlag != 0; };
    if (!files.empty() && m_StopFlag == 0)
        ZelRestoreFiles(files, m_Destination, true, &relay);
}

void CZelThreadFindDeletedFiles::OnRestoreProgress(double fraction)
{
    // The window hears of whole percentages only: a waiting call per chunk
    // would make large restores crawl.
    int percent = static_cast<int>(fraction * 100.0);
    if (percent == m_LastPercent || !m_pWindow)
        return;
    m_LastPercent = percent;
    QMetaObject::invokeMethod(m_pWindow, "OnRestoreProgress", Qt::BlockingQueuedConnection, Q_ARG(double, fraction));
}
