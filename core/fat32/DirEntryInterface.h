// A node of the FAT32 engine's found tree, as the iterator sees it; filters
// see its engine-neutral view.
#pragma once

#include "engine/ZelEngineRecord.h"
#include "jexfscore/ZelString.h"

#include <cstdint>

// Kind of a FAT directory entry, from its attribute byte AND 0x18.
enum FatEntryType : int32_t {
    FatEntryOther = 0,
    FatEntryFile = 1,
    FatEntryVolumeLabel = 2,
    FatEntryDirectory = 3,
};

class CDirEntryInterface : public CZelEngineRecord {
public:
    virtual bool IsDeleted() const = 0;
    virtual uint8_t GetAttributes() const = 0;
    // 8.3 name as written (the case flags applied); a deleted one starts
    // with "_", where the deletion mark took its first character.
    virtual const CZelStringA& GetShortName() const = 0;
    // Assembled from the long-name entries; empty when there are none.
    virtual const CZelStringW& GetLongName() const = 0;
    virtual uint64_t GetDataOffset() const = 0;
    virtual uint64_t GetEntryOffset() const = 0;
    virtual FatEntryType GetType() const = 0;
    virtual uint32_t GetChildCount() const = 0;
    // The child at index, or null when out of range.
    virtual const CDirEntryInterface* GetChild(uint32_t index) const = 0;
    virtual const CDirEntryInterface* GetParent() const = 0;
    virtual uint32_t GetSize() const = 0;
    ~CDirEntryInterface() override = default;

    // The long name as the wide name (none when it is empty), the 8.3 name
    // as the narrow one, and the 32-bit size widened without sign.
    CZelFoundEntryView GetView() const override;
};
