// The search worker: on a thread of its own it scans the chosen volume,
// waits for the window's restore list and restores those files into the
// destination folder. It tells the window of its progress by invoking the
// window's slots: OnSearchDone() (queued) when the scan has ended; around
// each file of the restore list OnRestoreBegin(int index),
// OnRestoreProgress(double fraction) and OnRestoreEnd(int index), each
// waiting until the window has handled it; and OnRestoreFinished(bool
// stopped) (queued) when the restore has ended, done or stopped.
#pragma once

#include "jexfscore/ZelCreator.h"
#include "jexrecovery/ZelRecoveryScan.h"
#include "jexrecovery/ZelRestoreOutcome.h"

#include <QPointer>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class CZelThreadFindDeletedFiles {
public:
    explicit CZelThreadFindDeletedFiles(CZelFileSystemCreator& creator) : m_Creator(creator) {}
    // Ends and waits for the worker, whatever Stop is under way.
    ~CZelThreadFindDeletedFiles();
    CZelThreadFindDeletedFiles(const CZelThreadFindDeletedFiles&) = delete;
    CZelThreadFindDeletedFiles& operator=(const CZelThreadFindDeletedFiles&) = delete;

    // Starts a search of volume on a new thread (a deep one when deep is
    // set), telling window of it, after ending the worker that ran before.
    // False, starting nothing, while a Stop is waiting for that worker.
    bool Start(const QString& volume, QObject* window, boost::shared_ptr<CZelCheckFile> filter, bool deep = false);
    // Ends the search under way as soon as it can: what it found so far is
    // listed as when it ends.
    void StopSearch();
    // The search was stopped before it ended.
    bool SearchStopped() const { return m_Scan && m_Scan->Stopped(); }
    // Ends the worker: a restore stops after the file in progress, a scan
    // ends as soon as it can; waits for the thread. On the window's thread the window's
    // events are handled while it waits; a Stop called from one of them
    // asks the worker to end and returns, leaving the wait to the first.
    void Stop();
    // A Stop is waiting for the worker.
    bool Stopping() const { return m_Stopping; }
    // Hands over the restore list (positions in the scan's order) and the
    // destination folder, and lets the worker go on. An empty destination
    // restores nothing.
    void Go(std::vector<uint32_t> positions, const QString& destination);
    // Asks a restore to stop after the file in progress.
    void RequestStop();

    // The file system of the search, from the start of the scan on; the
    // window asks it for the scan's progress.
    boost::shared_ptr<CZelFileSystem> FileSystem() const;
    // What the scan found, once OnSearchDone is under way.
    const std::vector<CZelFoundEntry>& Found() const { return m_Scan ? m_Scan->Found() : m_NoEntries; }
    // Why the volume could not be searched; empty when it was.
    std::string SearchError() const;
    uint64_t UnreadableStretches() const { return m_Scan ? m_Scan->UnreadableStretches() : 0; }
    uint64_t UnreadableBytes() const { return m_Scan ? m_Scan->UnreadableBytes() : 0; }
    // How file index of the restore list went; read while OnRestoreEnd is
    // handled, or after the restore.
    CZelRestoreOutcome Outcome(size_t index) const;
    // A worker thread was started and not yet waited for.
    bool Started() const { return m_Thread.joinable(); }
    bool Running() const { return m_Thread.joinable() && !m_Finished; }
    // The restore list was handed over (or the worker told to end).
    bool GoGiven() const { return m_GoFlag != 0; }

private:
    void ThreadProc();
    void RestoreList();
    void OnRestoreProgress(double fraction);
    // Invokes a slot of the window.
    void Tell(const char* slot, Qt::ConnectionType type);
    void Tell(const char* slot, Qt::ConnectionType type, int index);

    CZelFileSystemCreator& m_Creator;
    QString m_Volume;
    boost::shared_ptr<CZelCheckFile> m_pFilter;
    bool m_Deep = false;
    // The search under way, for StopSearch (under m_Lock).
    CZelRecoveryScan* m_pRunning = nullptr;
    QPointer<QObject> m_pWindow;
    std::thread m_Thread;
    std::atomic<bool> m_Finished{false};
    bool m_Stopping = false;
    std::atomic<int32_t> m_GoFlag{0};
    std::atomic<int32_t> m_StopFlag{0};
    // The last whole percentage told for the file in progress.
    int m_LastPercent = -1;
    std::vector<uint32_t> m_Positions;
    std::string m_Destination;
    std::unique_ptr<CZelRecoveryScan> m_Scan;
    std::vector<CZelFoundEntry> m_NoEntries;
    mutable std::mutex m_Lock;
    boost::shared_ptr<CZelFileSystem> m_pFileSystem;
    std::string m_SearchError;
    std::vector<CZelRestoreOutcome> m_Outcomes;
};
