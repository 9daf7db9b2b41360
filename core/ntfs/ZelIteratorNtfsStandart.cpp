#include "ntfs/ZelIteratorNtfsStandart.h"

#include "ntfs/NtfsUndeleteWrapper.h"

CZelIteratorNtfsStandart::CZelIteratorNtfsStandart(boost::shared_ptr<CNtfsUndeleteWrapper> engine)
    : CZelFoundIterator(std::move(engine))
{
}
