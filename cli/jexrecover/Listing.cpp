#include "Listing.h"

#include <algorithm>
#include <cctype>
#include <fnmatch.h>

namespace {

// a before b, letters in either case alike; ties broken byte by byte so
// that the order is total.
bool TextBefore(const std::string& a, const std::string& b)
{
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int x = std::tolower(static_cast<unsigned char>(a[i]));
        int y = std::tolower(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

} // namespace

bool ZelMatchesAny(const CZelFoundEntry& entry, const std::vector<std::string>& patterns)
{
    if (patterns.empty())
        return true;
    if (!entry.stream.empty())
        return entry.streamOf != nullptr && ZelMatchesAny(*entry.streamOf, patterns);
    // The path inside the volume: what follows the volume's own name.
    const std::string path = entry.Path();
    size_t slash = path.find('/');
    std::string inside = slash == std::string::npos ? std::string() : path.substr(slash + 1);
    auto matches = [](const std::string& pattern, const std::string& subject) {
        return ::fnmatch(pattern.c_str(), subject.c_str(), FNM_CASEFOLD) == 0;
    };
    for (const std::string& pattern : patterns) {
        if (pattern.find('/') == std::string::npos ? matches(pattern, entry.name)
                                                   : matches(pattern, path) || matches(pattern, inside))
            return true;
    }
    return false;
}

bool ZelWanted(const CZelFoundEntry& entry, const CZelFilterRequest& request)
{
    // A named stream is listed where its file is.
    if (!entry.stream.empty())
        return entry.streamOf != nullptr && ZelWanted(*entry.streamOf, request);
    return entry.directory || ZelRequestAccepts(request, entry.name, entry.size);
}

std::vector<const CZelFoundEntry*> ZelListEntries(const std::vector<CZelFoundEntry>& found,
                                                  const CZelFilterRequest& request, const CRecoverOptions& options)
{
    std::vector<const CZelFoundEntry*> listed;
    for (const CZelFoundEntry& entry : found)
        if (ZelWanted(entry, request) && ZelMatchesAny(entry, options.matches))
            listed.push_back(&entry);
    switch (options.sort) {
    case CRecoverOptions::ByName:
        std::stable_sort(listed.begin(), listed.end(),
                         [](const CZelFoundEntry* a, const CZelFoundEntry* b) { return TextBefore(a->name, b->name); });
        break;
    case CRecoverOptions::ByPath: {
        // Paths are made when asked for: each once, not at every comparison.
        std::vector<std::pair<std::string, const CZelFoundEntry*>> keyed;
        keyed.reserve(listed.size());
        for (const CZelFoundEntry* entry : listed)
            keyed.emplace_back(entry->Path(), entry);
        std::stable_sort(keyed.begin(), keyed.end(),
                         [](const auto& a, const auto& b) { return TextBefore(a.first, b.first); });
        for (size_t i = 0; i < keyed.size(); ++i)
            listed[i] = keyed[i].second;
        break;
    }
    case CRecoverOptions::BySize:
        std::stable_sort(listed.begin(), listed.end(),
                         [](const CZelFoundEntry* a, const CZelFoundEntry* b) { return a->size > b->size; });
        break;
    case CRecoverOptions::ScanOrder:
        break;
    }
    return listed;
}

std::string ZelPrintable(const std::string& text)
{
    std::string out;
    for (unsigned char c : text)
        out.push_back(c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c));
    return out;
}
