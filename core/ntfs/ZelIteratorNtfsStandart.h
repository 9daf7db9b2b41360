// The iterator the NTFS engine hands out: the one iterator of every engine,
// over its flat list of found records, whose folder paths the engine makes.
#pragma once

#include "engine/ZelFoundIterator.h"

class CNtfsUndeleteWrapper;

class CZelIteratorNtfsStandart : public CZelFoundIterator {
public:
    explicit CZelIteratorNtfsStandart(boost::shared_ptr<CNtfsUndeleteWrapper> engine);
};
