// The scan and the restore of jexrecover, over the core's exports.
#pragma once

#include "Options.h"
#include "jexfscore/ZelBinding.h"

#include <cstdint>
#include <string>
#include <vector>

struct CFoundEntry {
    uint64_t index = 0; // position in iteration order
    bool directory = false;
    std::string name;
    std::string path;
    uint64_t size = 0;
    bool deleted = false;
    boost::shared_ptr<CZelFSFileEntry> entry;
};

struct CScanResult {
    bool ok = false;
    std::string error;
    boost::shared_ptr<CZelFileSystem> fileSystem;
    std::string rootName;
    std::vector<CFoundEntry> entries;
};

// Binds the core and its message hook; false with the reason.
bool ZelBindCore(CZelCoreBinding& core, std::string& error);
// Messages the core sent since the last call, one per line.
std::vector<std::string> ZelTakeCoreMessages();

// Builds the filter the options ask for (empty when they ask for none).
bool ZelBuildFilter(CZelCreator& creator, const CRecoverOptions& options, const std::string& programFolder,
                    boost::shared_ptr<CZelCheckFile>& filter, std::string& error);

// Scans the volume; progress on standard error when showProgress is set.
CScanResult ZelScanVolume(CZelCoreBinding& core, const std::string& volume, boost::shared_ptr<CZelCheckFile> filter,
                          bool showProgress);

struct CRestoreOutcome {
    std::string source;
    std::string destination;
    std::string result; // "restored", "failed" or "skipped"
    std::string reason;
};

// A file name made safe: never empty, "." or "..", without "/", NUL or
// control characters, and at most 255 bytes (the stem is cut, the
// extension kept).
std::string ZelSafeName(const std::string& name);
// text with control characters shown as "?", for the terminal.
std::string ZelPrintable(const std::string& text);
// The first of "name", "stem (1).ext", "stem (2).ext", ... not taken in
// folder.
std::string ZelFreeName(const std::string& folder, const std::string& name);

std::vector<CRestoreOutcome> ZelRestoreEntries(const std::vector<const CFoundEntry*>& chosen,
                                               const std::string& destination, bool flat, bool showProgress);
