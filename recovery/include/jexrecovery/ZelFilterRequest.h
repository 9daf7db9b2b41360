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

// The filter description for the request: a group of one extension list and
// one size range (the core's bounds exclude the sizes they name). Empty when
// the request asks for nothing, or the core makes no filters (error says so).
boost::shared_ptr<CZelCheckFile> ZelBuildFilter(CZelCreator& creator, const CZelFilterRequest& request,
                                                std::string& error);
