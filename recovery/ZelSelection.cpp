#include "jexrecovery/ZelSelection.h"

#include <set>

CZelSelection ZelSelectAll(const std::vector<CZelFoundEntry>& found)
{
    CZelSelection selection;
    for (const CZelFoundEntry& entry : found)
        if (!entry.directory)
            selection.files.push_back(&entry);
    return selection;
}

CZelSelection ZelSelectIndexes(const std::vector<CZelFoundEntry>& found, const std::vector<uint64_t>& indexes)
{
    CZelSelection selection;
    std::set<uint64_t> seen;
    for (uint64_t index : indexes) {
        if (!seen.insert(index).second)
            continue;
        const CZelFoundEntry* match = nullptr;
        for (const CZelFoundEntry& entry : found)
            if (entry.index == index)
                match = &entry;
        if (match != nullptr && !match->directory) {
            selection.files.push_back(match);
            continue;
        }
        CZelRestoreOutcome outcome;
        outcome.source = match != nullptr ? match->path : "";
        outcome.result = ZelRestoreResult::Skipped;
        outcome.reason = "index " + std::to_string(index) + (match != nullptr ? " is a folder" : " names no found file");
        selection.skipped.push_back(outcome);
    }
    return selection;
}
