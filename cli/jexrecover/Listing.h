// Which found entries jexrecover lists, and in which order: the filters,
// --match and --sort. The volume is searched whole and the filters applied
// to what was found, so that a file's index is the same whichever of these
// are given to scan and to restore.
#pragma once

#include "Options.h"
#include "jexrecovery/ZelFilterRequest.h"
#include "jexrecovery/ZelRecoveryScan.h"

#include <string>
#include <vector>

// Whether the entry matches one of the patterns (each a shell pattern, "*"
// also across "/", letters in either case). A pattern with a "/" is matched
// against the path as listed and against the path inside the volume (the
// listed one without the volume's name before its first "/"); one without
// against the name alone. No patterns: every entry matches.
bool ZelMatchesAny(const CZelFoundEntry& entry, const std::vector<std::string>& patterns);

// Whether the filters ask for the entry: a file of the extensions and
// sizes asked for; folders always.
bool ZelWanted(const CZelFoundEntry& entry, const CZelFilterRequest& request);

// The found entries wanted that match, in the order the options ask for: by name
// or path (letters in either case alike, then byte by byte), by size
// (largest first), or as found. Equal keys keep the scan's order.
std::vector<const CZelFoundEntry*> ZelListEntries(const std::vector<CZelFoundEntry>& found,
                                                  const CZelFilterRequest& request, const CRecoverOptions& options);

// Text with control characters shown as "?", for the terminal.
std::string ZelPrintable(const std::string& text);
