#include "fat32/ZelIteratorFat32Standart.h"

#include "fat32/Fat32Wrapper.h"

CZelIteratorFat32Standart::CZelIteratorFat32Standart(boost::shared_ptr<CFat32Wrapper> engine)
    : CZelFoundIterator(std::move(engine))
{
}
