#include "filters/ZelCheckFileConvert.h"

// The filter descriptions of this version have no engine form yet, so every
// scan runs without a filter.
boost::shared_ptr<CFat32CheckFile> ZelConvertForFat32(const boost::shared_ptr<CZelCheckFile>& /*description*/)
{
    return boost::shared_ptr<CFat32CheckFile>();
}

boost::shared_ptr<CNtfsCheckFile> ZelConvertForNtfs(const boost::shared_ptr<CZelCheckFile>& /*description*/)
{
    return boost::shared_ptr<CNtfsCheckFile>();
}
