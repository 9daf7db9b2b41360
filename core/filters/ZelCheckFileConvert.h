// Turns a filter description into the engine filter of one family. An empty
// description, or one that does not convert, gives no filter.
#pragma once

#include "filters/EngineCheckFile.h"
#include "jexfscore/ZelCheckFile.h"

#include <boost/shared_ptr.hpp>

boost::shared_ptr<CFat32CheckFile> ZelConvertForFat32(const boost::shared_ptr<CZelCheckFile>& description);
boost::shared_ptr<CNtfsCheckFile> ZelConvertForNtfs(const boost::shared_ptr<CZelCheckFile>& description);
