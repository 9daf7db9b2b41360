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
#include <thread>

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
    // The run found the name free as it placed the file; the name is
    // still never replaced when it is given.
    bool Open(uint32_t mode) override { return m_pOut->Create(m_Destination, static_cast<mode_t>(mode), true); }
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

// The destination folders of a run, each made and checked once: and
// whether each takes ":" in names, once a name asks.
struct CFolderState {
    bool made = false;
    bool colonsKnown = false;
    bool colons = true;
    // Looked at when its first file was placed.
    bool seen = false;
    // It did not exist then, or was empty: every name in it is one this
    // run gave, and those are kept (as hashes) instead of being looked up
    // on the disk.
    bool fresh = false;
    std::unordered_set<uint64_t> given;
};
using CDestinationFolders = std::map<std::string, CFolderState>;

// The names kept for fresh folders, in all; past it names are looked up on
// the disk, which is slower but as sound.
constexpr size_t kGivenNames = size_t(1) << 18;

// Makes a destination folder the first time a file needs it; the reason
// when it cannot be made.
std::string MakeFolder(const std::string& folder, CFolderState& state)
{
    if (state.made)
        return std::string();
    std::error_code failed;
    std::filesystem::create_directories(folder, failed);
    if (failed)
        return folder + ": " + failed.message();
    state.made = true;
    return std::string();
}

// A file of a batch: where it goes, named in the order asked, then
// restored in the order the volume holds the batch's files.
struct CBatchFile {
    const CZelFoundEntry* found = nullptr;
    boost::shared_ptr<CZelFSFile> file;
    CZelRestoreOutcome outcome;
    // The destination folder it goes to, and the path held for it there.
    std::string folder;
    std::string placed;
    // Where its data starts on the volume (UINT64_MAX: not known).
    uint64_t offset = UINT64_MAX;
    bool begun = false;
    // Written whole, waiting to be put on the disk and named.
    std::unique_ptr<CZelOutputFile> finished;
};

// Where a file goes: its folder and a free name, held for it until the
// batch is named.
void PlaceOne(CBatchFile& one, const std::string& destination, bool flat, CDestinationFolders& folders,
              std::unordered_set<std::string>& reserved, size_t& given)
{
    const CZelFoundEntry& found = *one.found;
    CZelRestoreOutcome& outcome = one.outcome;
    outcome.source = found.Path();
    outcome.index = found.index;
    one.folder = ZelDestinationFolder(destination, found.Path(), flat);
    CFolderState& state = folders[one.folder];
    if (!state.seen) {
        state.seen = true;
        // A folder that does not exist yet, or is empty, holds only the
        // names this run gives it.
        std::error_code failed;
        const bool exists = std::filesystem::exists(one.folder, failed);
        state.fresh = !failed && (!exists || (std::filesystem::is_directory(one.folder, failed) && !failed &&
                                              std::filesystem::is_empty(one.folder, failed) && !failed));
        // Folders are made as their files begin, in the volume's order:
        // until then their names are held too, so that no file takes one.
        for (std::filesystem::path up = one.folder; up != std::filesystem::path(destination) && up.has_relative_path();
             up = up.parent_path())
            reserved.insert(up.string());
    }
    std::string safe = ZelSafeName(found.name);
    // A named stream ("file:stream") where the destination takes no ":"
    // is "file_stream"; the folder is asked once.
    if (safe.find(':') != std::string::npos && !state.colonsKnown && MakeFolder(one.folder, state).empty()) {
        state.colonsKnown = true;
        state.colons = ZelFolderTakesColons(one.folder);
    }
    if (safe.find(':') != std::string::npos && state.colonsKnown && !state.colons)
        std::replace(safe.begin(), safe.end(), ':', '_');
    // In a folder that held nothing, a name this run has not given is
    // free.
    std::string destinationPath = (std::filesystem::path(one.folder) / safe).string();
    const std::hash<std::string> hash;
    std::string name;
    if (state.fresh && state.given.count(hash(safe)) == 0 && reserved.count(destinationPath) == 0) {
        name = safe;
    } else {
        name = ZelFreeName(one.folder, safe, &reserved);
        destinationPath = (std::filesystem::path(one.folder) / name).string();
    }
    if (state.fresh && given < kGivenNames) {
        state.given.insert(hash(name));
        ++given;
    } else if (state.fresh) {
        state.fresh = false;
        std::unordered_set<uint64_t>().swap(state.given);
    }
    outcome.renamed = name != found.name;
    outcome.destination = destinationPath;
    one.placed = destinationPath;
    reserved.insert(one.placed);
}

// Restores one placed file; when it was written, whole or in part, it
// waits in finished to be named.
void RestoreOne(CBatchFile& one, CFolderState& folder, size_t number, size_t total, CZelRestoreObserver* observer)
{
    CZelRestoreOutcome& outcome = one.outcome;
    if (observer != nullptr)
        observer->Begin(number, total, std::filesystem::path(outcome.destination).filename().string());
    outcome.reason = MakeFolder(one.folder, folder);
    if (!outcome.reason.empty()) {
        outcome.result = ZelRestoreResult::Failed;
        return;
    }
    CProgressRelay relay(observer);
    auto progress = boost::make_shared<CZelCallbackWrapperRT<CProgressRelay, void, double>>(&CProgressRelay::Fire,
                                                                                          &relay);
    CZelRestoreReport report;
    CBatchSink sink(outcome.destination);
    ZELRESULT result = one.file ? one.file->RestoreTo(sink, progress, report) : ZEL_E_RESTOREREFUSED;
    one.finished = sink.TakeFinished();
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
        one.finished.reset();
}

// Where each file of a batch starts on the volume, and the batch in that
// order: a file whose data lies in the file system's records goes last.
std::vector<size_t> DiskOrder(std::vector<CBatchFile>& batch)
{
    std::vector<std::pair<uint64_t, size_t>> keyed;
    keyed.reserve(batch.size());
    for (size_t i = 0; i < batch.size(); ++i) {
        if (batch[i].file)
            batch[i].offset = batch[i].file->GetDataOffset();
        keyed.emplace_back(batch[i].offset, i);
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<size_t> order;
    order.reserve(keyed.size());
    for (const auto& key : keyed)
        order.push_back(key.second);
    return order;
}

// A batch is named when it holds this many files or bytes: what a failing
// destination can cost to write again is bounded, as are the descriptors
// held open.
constexpr size_t kBatchFiles = 256;
constexpr uint64_t kBatchBytes = uint64_t(128) << 20;
// A file that starts this close after the end of the one before it is
// left to the system's read-ahead.
constexpr uint64_t kNear = uint64_t(128) << 10;

// Puts the batch's waiting files on the disk and names them, and gives
// the outcomes of the files begun, in the order asked.
// Puts a batch's waiting files on the disk and names them: one flush of
// their file system, then each file's own flush and its name. A file that
// fails here is failed, with nothing under its name.
void PublishBatch(std::vector<CBatchFile>& batch)
{
    // A file alone (a run of one) needs only its own flush.
    auto waiting = [](const CBatchFile& one) { return one.finished != nullptr; };
    const auto first = std::find_if(batch.begin(), batch.end(), waiting);
    if (first != batch.end() && std::count_if(first, batch.end(), waiting) > 1)
        first->finished->FlushFileSystem();
    for (CBatchFile& one : batch) {
        if (!one.finished)
            continue;
        // A name taken meanwhile, or one the destination takes for another
        // (a folder that folds case), is not replaced: the file gets the
        // next numbered name.
        const std::filesystem::path placed(one.placed);
        const std::string leaf = placed.filename().string();
        const auto otherName = [&placed, &leaf](unsigned attempt) {
            return (placed.parent_path() / ZelNumberedName(leaf, attempt)).string();
        };
        if (one.finished->Publish(otherName)) {
            one.outcome.destination = one.finished->Destination();
            one.outcome.renamed = one.outcome.renamed || one.outcome.destination != one.placed;
        } else {
            one.outcome.result = ZelRestoreResult::Failed;
            one.outcome.reason = one.finished->Error();
            one.outcome.unreadableBytes = 0;
        }
        one.finished.reset();
    }
}

// Publishes one batch on a thread of its own while the next is restored:
// the disk's flushes and the reading of the volume overlap.
class CPublisher {
public:
    ~CPublisher() { Wait(); }
    void Start(std::vector<CBatchFile> batch, size_t base)
    {
        m_Batch = std::move(batch);
        m_Base = base;
        try {
            m_Thread = std::thread([this] { PublishBatch(m_Batch); });
        } catch (const std::system_error&) {
            // No thread to be had: the batch is published here and now.
            PublishBatch(m_Batch);
        }
    }
    // The batch once it is published, with the place of its first file
    // among those asked for; empty when none is under way.
    std::vector<CBatchFile> Wait(size_t& base)
    {
        if (m_Thread.joinable())
            m_Thread.join();
        base = m_Base;
        return std::move(m_Batch);
    }
    void Wait()
    {
        size_t base = 0;
        Wait(base);
    }

private:
    std::vector<CBatchFile> m_Batch;
    size_t m_Base = 0;
    std::thread m_Thread;
};

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
    // The files go in batches, taken in the order asked. A batch is read in
    // the order its files lie on the volume, the next file's first bytes
    // asked for ahead. Files written whole wait: one flush of the file
    // system puts them all on the disk (one journal commit instead of one
    // per file), then each is flushed on its own, which tells its own
    // errors, and named only when that succeeded. A file that fails then is
    // failed, and nothing is left under its name. Outcomes keep the order
    // asked.
    // While a batch is published the next one is restored: the names it
    // holds stay held until it is named.
    CPublisher publisher;
    std::unordered_set<std::string> reserved;
    size_t given = 0;
    auto tell = [&](std::vector<CBatchFile> done, size_t base) {
        for (size_t i = 0; i < done.size(); ++i) {
            if (!done[i].begun)
                continue;
            reserved.erase(done[i].placed);
            outcomes.push_back(std::move(done[i].outcome));
            if (observer != nullptr)
                observer->End(base + i + 1, outcomes.back());
        }
    };
    bool stopped = false;
    for (size_t first = 0; first < chosen.size() && !stopped;) {
        std::vector<CBatchFile> batch;
        uint64_t batchBytes = 0;
        for (; first < chosen.size() && batch.size() < kBatchFiles && batchBytes < kBatchBytes; ++first) {
            CBatchFile one;
            one.found = chosen[first];
            one.file = boost::dynamic_pointer_cast<CZelFSFile>(one.found->entry);
            PlaceOne(one, destination, flat, folders, reserved, given);
            batchBytes += one.found->size;
            batch.push_back(std::move(one));
        }
        const size_t base = first - batch.size();
        const std::vector<size_t> order = DiskOrder(batch);
        for (size_t k = 0; k < order.size(); ++k) {
            if (observer != nullptr && observer->Stopped()) {
                stopped = true;
                break;
            }
            CBatchFile& one = batch[order[k]];
            // The next file's start, unless it follows closely on this one,
            // where the system's own read-ahead serves.
            if (k + 1 < order.size()) {
                CBatchFile& next = batch[order[k + 1]];
                if (next.file && next.offset != UINT64_MAX &&
                    (one.offset == UINT64_MAX || next.offset - one.offset > one.found->size + kNear))
                    next.file->WillRestore(next.offset);
            }
            RestoreOne(one, folders[one.folder], base + order[k] + 1, chosen.size(), observer);
            one.begun = true;
        }
        size_t doneBase = 0;
        std::vector<CBatchFile> done = publisher.Wait(doneBase);
        publisher.Start(std::move(batch), base);
        tell(std::move(done), doneBase);
    }
    size_t doneBase = 0;
    std::vector<CBatchFile> done = publisher.Wait(doneBase);
    tell(std::move(done), doneBase);
    return outcomes;
}
