// What became of one file a user chose to restore.
#pragma once

#include <cstdint>
#include <string>

enum class ZelRestoreResult {
    // Every byte came from where the volume says it belongs.
    Restored,
    // The file was written whole, but some of it could not be read: those
    // bytes are zeros.
    Partial,
    // No file was written.
    Failed,
    // The choice named no file that could be tried.
    Skipped,
};

// "restored", "partial", "failed" or "skipped".
const char* ZelRestoreResultName(ZelRestoreResult result);

struct CZelRestoreOutcome {
    // The found path, empty when the choice named nothing found.
    std::string source;
    // The index the file was chosen by (0 when it has none).
    uint64_t index = 0;
    // Where the file was (or was to be) written.
    std::string destination;
    ZelRestoreResult result = ZelRestoreResult::Failed;
    // Why it is partial, failed or was skipped.
    std::string reason;
    // For a partial file: the bytes that could not be read.
    uint64_t unreadableBytes = 0;
    // The file went under another name than its own (a name taken, or one
    // made safe).
    bool renamed = false;
};
