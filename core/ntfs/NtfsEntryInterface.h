// A record found by the NTFS engine, as the iterator sees it.
#pragma once

#include "engine/ZelEngineRecord.h"

#include <cstdint>

class CNtfsEntryInterface : public CZelEngineRecord {
public:
    virtual uint8_t GetFlags() const = 0;
    virtual uint32_t GetAttributes() const = 0;
    // The name in UTF-8; null when the record has none.
    virtual const char* GetNameA() const = 0;
    // Parent folders below the root joined with "/", or null.
    virtual const wchar_t* GetParentPathW() const = 0;
    // 3 for a directory, 1 for a file.
    virtual int32_t GetKind() const = 0;
    virtual uint64_t GetSize() const = 0;
    ~CNtfsEntryInterface() override = default;

    CZelFoundEntryView GetView() const override;
};
