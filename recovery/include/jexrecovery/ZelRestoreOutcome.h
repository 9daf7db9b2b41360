// What became of one file a user chose to restore.
#pragma once

#include <string>

enum class ZelRestoreResult {
    Restored,
    // The file was tried and could not be written or read.
    Failed,
    // The choice named no file that could be tried.
    Skipped,
};

// "restored", "failed" or "skipped".
const char* ZelRestoreResultName(ZelRestoreResult result);

struct CZelRestoreOutcome {
    // The found path, empty when the choice named nothing found.
    std::string source;
    // Where the file was (or was to be) written.
    std::string destination;
    ZelRestoreResult result = ZelRestoreResult::Failed;
    // Why it failed or was skipped.
    std::string reason;
};
