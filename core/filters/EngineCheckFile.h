// Engine filters: what an engine asks for every candidate entry of a scan.
// They see the engine-neutral view of the entry, so every engine shares them.
#pragma once

#include "engine/ZelEngineRecord.h"

class CZelEngineCheckFile {
public:
    virtual ~CZelEngineCheckFile() = default;
    // False for a null entry.
    virtual bool Check(const CZelFoundEntryView* entry) = 0;
};
