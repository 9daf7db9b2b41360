// The filter a user asks for: extensions (from categories or their own) and
// a size range with bounds that include the sizes named.
#pragma once

#include "jexfscore/ZelCreator.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <string>
#include <vector>

struct CZelFilterRequest {
    // Set when the user asked for extensions (categories or their own):
    // then a file of any of these is found, and with none, no file is.
    bool byExtension = false;
    std::vector<std::wstring> extensions;
    bool hasMinSize = false;
    bool hasMaxSize = false;
    // Inclusive, as the user gives them.
    uint64_t minSize = 0;
    uint64_t maxSize = 0;

    bool Empty() const { return !byExtension && !hasMinSize && !hasMaxSize; }
};

// Whether a found file of this name and size is one the request asks for,
// by the rules the engines' filters follow: the extension is what follows
// the name's last dot (the whole name when it has none), letters A to Z in
// either case alike; the size bounds included.
bool ZelRequestAccepts(const CZelFilterRequest& request, const std::string& name, uint64_t size);

// The filter description for the request: a group of one extension list and
// one size range (the core's bounds exclude the sizes they name). Empty when
// the request asks for nothing, or the core makes no filters (error says so).
boost::shared_ptr<CZelCheckFile> ZelBuildFilter(CZelCreator& creator, const CZelFilterRequest& request,
                                                std::string& error);
// The same made with a filter factory at hand.
boost::shared_ptr<CZelCheckFile> ZelBuildFilter(CZelCheckFileCreator& factory, const CZelFilterRequest& request);
