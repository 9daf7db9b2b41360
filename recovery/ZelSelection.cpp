#include "jexrecovery/ZelSelection.h"

#include <set>
#include <unordered_map>

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
    std::unordered_map<uint64_t, const CZelFoundEntry*> files;
    for (const CZelFoundEntry& entry : found)
        if (!entry.directory)
            files.emplace(entry.index, &entry);
    CZelSelection selection;
    std::set<uint64_t> seen;
    for (uint64_t index : indexes) {
        if (!seen.insert(index).second)
            continue;
        auto match = files.find(index);
        if (match != files.end()) {
            selection.files.push_back(match->second);
            continue;
        }
        CZelRestoreOutcome outcome;
        outcome.index = index;
        outcome.result = ZelRestoreResult::Skipped;
        outcome.reason = "index " + std::to_string(index) + " names no file found" +
                         (index == 0 ? " (files are counted from 1)" : "");
        selection.skipped.push_back(outcome);
    }
    return selection;
}
