// The command line of jexrecover.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CRecoverOptions {
    enum Command { None, Volumes, Scan, Restore } command = None;
    std::string volume;
    std::string destination;
    bool all = false;
    std::vector<uint64_t> indexes;
    std::vector<std::string> categories; // documents, audio, images, video
    std::vector<std::string> extensions;
    bool hasMinSize = false, hasMaxSize = false;
    uint64_t minSize = 0, maxSize = 0; // inclusive, as the user gives them
    // Patterns the listed and restored files' paths match (any of them).
    std::vector<std::string> matches;
    enum Sort { ScanOrder, ByName, BySize, ByPath } sort = ScanOrder;
    bool flat = false;
    // A deep search: the free space too.
    bool deep = false;
    // NTFS named streams listed as files of their own.
    bool streams = false;
    // A GNU ddrescue map of the image (--map); otherwise one beside it is
    // used unless --no-map.
    std::string map;
    bool noMap = false;
    bool json = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
};

// Parses argv; false with a message naming the bad argument.
bool ZelParseRecoverOptions(int argc, char** argv, CRecoverOptions& options, std::string& error);
// A size with an optional K, M or G suffix (powers of 1024).
bool ZelParseSize(const std::string& text, uint64_t& size);

extern const char* const kRecoverUsage;
