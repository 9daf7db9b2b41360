// The iterator the FAT engine hands out: the one iterator of every engine,
// over the found tree in pre-order, with paths of 8.3 names and of the
// names shown.
#pragma once

#include "engine/ZelFoundIterator.h"

class CFat32Wrapper;

class CZelIteratorFat32Standart : public CZelFoundIterator {
public:
    explicit CZelIteratorFat32Standart(boost::shared_ptr<CFat32Wrapper> engine);
};
