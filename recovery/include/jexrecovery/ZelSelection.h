// The found files a user chooses: all of them, or those with given indexes.
#pragma once

#include "jexrecovery/ZelRecoveryScan.h"
#include "jexrecovery/ZelRestoreOutcome.h"

#include <cstdint>
#include <vector>

struct CZelSelection {
    // In the order chosen, each once.
    std::vector<const CZelFoundEntry*> files;
    // Indexes that name no file found, in the order given.
    std::vector<CZelRestoreOutcome> skipped;
};

// Every found file, in the scan's order.
CZelSelection ZelSelectAll(const std::vector<CZelFoundEntry>& found);
// The found files with these indexes, in the order given, each once; an
// index that names no file found is skipped with the reason.
CZelSelection ZelSelectIndexes(const std::vector<CZelFoundEntry>& found, const std::vector<uint64_t>& indexes);
