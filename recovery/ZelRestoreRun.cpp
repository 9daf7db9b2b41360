#include "jexrecovery/ZelRestoreRun.h"

#include "jexrecovery/ZelDestination.h"
#include "jexcommon/ZelText.h"
#include "jexfscore/ZelRestoreSink.h"
#include "jexplatform/OutputFile.h"

#include <boost/make_shared.hpp>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <unordered_set>
#include <system_error>

namespace {

// Forwards the core's progress callback to the observer.
class CProgressRelay {
public:
    explicit CProgressRelay(CZelRestoreObserver* observer) : m_pObserver(observer) {}
    void Fire(double fraction)
    {
        if (m_pObserver != nullptr)
            m_pObserver->Progress(fraction);
    }

private:
    CZelRestoreObserver* m_pObserver;
};

// A file a run restores: written and made whole by the engine, then put on
// the disk and named with the others of its batch (Publish).
class CBatchSink final : public CZelRestoreSink {
public:
    explicit CBatchSink(std::string destination)
        : m_Destination(std::move(destination)), m_pOut(std::make_unique<CZelOutputFile>())
    {
    }
    bool Open(uint32_t mode) override { return m_pOut->Create(m_Destination, static_cast<mode_t>(mode)); }
    bool IsOpen() const override { return m_pOut->IsOpen(); }
    bool Write(const void* data, size_t length) override { return m_pOut->Write(data, length); }
    bool Skip(uint64_t count) override { return m_pOut->Skip(count); }
    void SetTimes(const timespec& modified) override { m_pOut->SetTimes(modified); }
    bool Commit() override { return m_Finished = m_pOut->Finish(); }
    void Discard() override
    {
        m_pOut->Discard();
        m_Finished = false;
    }
    const std::string& Error() const override { return m_pOut->Error(); }
    // The file once it is whole, still to be put on the disk and named.
    std::unique_ptr<CZelOutputFile> TakeFinished() { return m_Finished ? std::move(m_pOut) : nullptr; }

private:
    std::string m_Destination;
    std::unique_ptr<CZelOutputFile> m_pOut;
    bool m_Finished = false;
};

// The destination folders made so far in a run, each checked once: and
// whether each takes ":" in names, once a name asks.
struct CFolderState {
    bool colonsKnown = false;
    bool colons = true;
};
using CDestinationFolders = std::map<std::string, CFolderState>;

// Restores one file: its outcome, and the file when it was written whole and
// waits to be named; the names such files will take are reserved.
CZelRestoreOutcome RestoreOne(const CZelFoundEntry& found, const std::string& destination, bool flat,
                              size_t number, size_t total, CZelRestoreObserver* observer, CDestinationFolders& folders,
                              std::unordered_set<std::string>& reserved, std::unique_ptr<CZelOutputFile>& finished)
{
    CZelRestoreOutcome outcome;
    outcome.source = found.Path();
    outcome.index = found.index;
    std::string folder = ZelDestinationFolder(destination, found.Path(), flat);
    auto known = folders.find(folder);
    if (known == folders.end()) {
        std::error_code failed;
        std::filesystem::create_directories(folder, failed);
        if (failed) {
            outcome.result = ZelRestoreResult::Failed;
            outcome.reason = folder + ": " + failed.message();
            return outcome;
        }
        known = folders.emplace(folder, CFolderState()).first;
    }
    std::string safe = ZelSafeName(found.name);
    // A named stream ("file:stream") where the destination takes no ":"
    // is "file_stream".
    if (safe.find(':') != std::string::npos) {
        if (!known->second.colonsKnown)
            known->second = CFolderState{true, ZelFolderTakesColons(folder)};
        if (!known->second.colons)
            std::replace(safe.begin(), safe.end(), ':', '_');
    }
    std::string name = ZelFreeName(folder, safe, &reserved);
    outcome.renamed = name != found.name;
    outcome.destination = (std::filesystem::path(folder) / name).string();
    if (observer != nullptr)
        observer->Begin(number, total, name);
    CProgressRelay relay(observer);
    auto progress = boost::make_shared<CZelCallbackWrapperRT<CProgressRelay, void, double>>(&CProgressRelay::Fire,
                                                                                          &relay);
    auto file = boost::dynamic_pointer_cast<CZelFSFile>(found.entry);
    CZelRestoreReport report;
    CBatchSink sink(outcome.destination);
    ZELRESULT result = file ? file->RestoreTo(sink, progress, report) : ZEL_E_RESTOREREFUSED;
    finished = sink.TakeFinished();
    outcome.reason = ZelWideToNarrow(report.reason);
    if (result == ZEL_S_OK) {
        outcome.result = ZelRestoreResult::Restored;
    } else if (result == ZEL_S_PARTIAL) {
        outcome.result = ZelRestoreResult::Partial;
        outcome.unreadableBytes = report.unreadableBytes;
    } else {
        outcome.result = ZelRestoreResult::Failed;
        if (result == ZEL_E_RESTOREREFUSED)
            outcome.reason = "the volume no longer holds this file";
        else if (outcome.reason.empty())
            outcome.reason = "the file could not be written or read";
    }
    // Only a file restored, whole or in part, is named.
    if (outcome.result == ZelRestoreResult::Failed)
        finished.reset();
    if (finished)
        reserved.insert(outcome.destination);
    return outcome;
}

// A batch is named when it holds this many files or bytes: what a failing
// destination can cost to write again is bounded, as are the descriptors
// held open.
constexpr size_t kBatchFiles = 256;
constexpr uint64_t kBatchBytes = uint64_t(128) << 20;

} // namespace

const char* ZelRestoreResultName(ZelRestoreResult result)
{
    switch (result) {
    case ZelRestoreResult::Restored:
        return "restored";
    case ZelRestoreResult::Partial:
        return "partial";
    case ZelRestoreResult::Skipped:
        return "skipped";
    case ZelRestoreResult::Failed:
        break;
    }
    return "failed";
}

std::vector<CZelRestoreOutcome> ZelRestoreFiles(const std::vector<const CZelFoundEntry*>& chosen,
                                                const std::string& destination, bool flat,
                                                CZelRestoreObserver* observer)
{
    std::vector<CZelRestoreOutcome> outcomes;
    CDestinationFolders folders;
    // Files written whole wait in a batch: one flush of the file system
    // puts them all on the disk (one journal commit instead of one per
    // file), then each is flushed on its own, which tells its own errors,
    // and named only when that succeeded. A file that fails then is
    // failed, and nothing is left under its name.
    struct Waiting {
        CZelRestoreOutcome outcome;
        std::unique_ptr<CZelOutputFile> file;
    };
    std::vector<Waiting> batch;
    std::unordered_set<std::string> reserved;
    uint64_t batchBytes = 0;
    auto publish = [&]() {
        // A file alone (the window restores one at a time) needs only its
        // own flush.
        const size_t files = static_cast<size_t>(
            std::count_if(batch.begin(), batch.end(), [](const Waiting& waiting) { return waiting.file != nullptr; }));
        for (const Waiting& waiting : batch)
            if (waiting.file && files > 1) {
                waiting.file->FlushFileSystem();
                break;
            }
        for (Waiting& waiting : batch) {
            if (waiting.file && !waiting.file->Publish()) {
                waiting.outcome.result = ZelRestoreResult::Failed;
                waiting.outcome.reason = waiting.file->Error();
                waiting.outcome.unreadableBytes = 0;
            }
            waiting.file.reset();
            outcomes.push_back(std::move(waiting.outcome));
            if (observer != nullptr)
                observer->End(outcomes.back());
        }
        batch.clear();
        reserved.clear();
        batchBytes = 0;
    };
    size_t number = 0;
    for (const CZelFoundEntry* found : chosen) {
        if (observer != nullptr && observer->Stopped())
            break;
        ++number;
        Waiting waiting;
        waiting.outcome =
            RestoreOne(*found, destination, flat, number, chosen.size(), observer, folders, reserved, waiting.file);
        batchBytes += found->size;
        batch.push_back(std::move(waiting));
        if (batch.size() >= kBatchFiles || batchBytes >= kBatchBytes)
            publish();
    }
    publish();
    return outcomes;
}
