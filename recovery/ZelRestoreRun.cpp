#include "jexrecovery/ZelRestoreRun.h"

#include "jexrecovery/ZelDestination.h"
#include "jexcommon/ZelText.h"

#include <boost/make_shared.hpp>

#include <algorithm>
#include <filesystem>
#include <map>
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

// The destination folders made so far in a run, each checked once: and
// whether each takes ":" in names, once a name asks.
struct CFolderState {
    bool colonsKnown = false;
    bool colons = true;
};
using CDestinationFolders = std::map<std::string, CFolderState>;

CZelRestoreOutcome RestoreOne(const CZelFoundEntry& found, const std::string& destination, bool flat,
                              size_t number, size_t total, CZelRestoreObserver* observer, CDestinationFolders& folders)
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
    std::string name = ZelFreeName(folder, safe);
    outcome.renamed = name != found.name;
    outcome.destination = (std::filesystem::path(folder) / name).string();
    if (observer != nullptr)
        observer->Begin(number, total, name);
    CProgressRelay relay(observer);
    auto progress = boost::make_shared<CZelCallbackWrapperRT<CProgressRelay, void, double>>(&CProgressRelay::Fire,
                                                                                          &relay);
    auto file = boost::dynamic_pointer_cast<CZelFSFile>(found.entry);
    CZelRestoreReport report;
    ZELRESULT result = file ? file->RestoreEx(outcome.destination.c_str(), progress, report) : ZEL_E_RESTOREREFUSED;
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
    return outcome;
}

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
    size_t number = 0;
    for (const CZelFoundEntry* found : chosen) {
        if (observer != nullptr && observer->Stopped())
            break;
        ++number;
        outcomes.push_back(RestoreOne(*found, destination, flat, number, chosen.size(), observer, folders));
        if (observer != nullptr)
            observer->End(outcomes.back());
    }
    return outcomes;
}
