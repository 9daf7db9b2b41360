// A node of the FAT32 engine's found tree: one directory entry group with
// its names, positions, size, and (for a directory) the entries found in it.
#pragma once

#include "fat32/DirEntryInterface.h"

#include <memory>
#include <string>
#include <vector>

class CDirEntry : public CDirEntryInterface {
public:
    explicit CDirEntry(const CDirEntry* parent) : m_pParent(parent) {}

    bool IsDeleted() const override { return m_Deleted; }
    uint8_t GetAttributes() const override { return m_Attributes; }
    const CZelStringA& GetShortName() const override { return m_ShortName; }
    const CZelStringW& GetLongName() const override { return m_LongName; }
    uint64_t GetDataOffset() const override { return m_DataOffset; }
    uint64_t GetEntryOffset() const override { return m_EntryOffset; }
    FatEntryType GetType() const override { return m_Type; }
    uint32_t GetChildCount() const override { return static_cast<uint32_t>(m_Children.size()); }
    const CDirEntryInterface* GetChild(uint32_t index) const override
    {
        return index < m_Children.size() ? m_Children[index].get() : nullptr;
    }
    const CDirEntryInterface* GetParent() const override { return m_pParent; }
    uint32_t GetSize() const override { return m_Size; }

    // The first cluster from the short entry.
    uint32_t GetFirstCluster() const { return m_FirstCluster; }
    // Where the restore starts: the first cluster, or for an entry whose
    // high word was cleared on deletion the place found for it.
    uint32_t GetStartCluster() const { return m_StartCluster; }
    int32_t GetRecoveryEstimate() const override { return m_Estimate; }
    std::string GetRecoveryNote() const override { return m_EstimateNote; }
    // Why the estimate is below 100; empty when it is not.
    const std::string& GetEstimateNote() const { return m_EstimateNote; }

    // True when this entry or a directory above it is marked deleted.
    bool IsInDeletedTree() const;
    // True when this entry or a directory above it was placed in its
    // folder by where the folder's clusters lie, not by a link.
    bool IsPlaceGuessed() const;

    // Data offset of an entry whose first cluster lies outside the data
    // region: nothing can be read there.
    static constexpr uint64_t kNoData = UINT64_MAX;

private:
    friend class CMUNdelete;

    bool m_Deleted = false;
    uint8_t m_Attributes = 0;
    CZelStringW m_LongName;
    CZelStringA m_ShortName;
    uint64_t m_DataOffset = kNoData;
    uint64_t m_EntryOffset = 0;
    FatEntryType m_Type = FatEntryOther;
    const CDirEntry* m_pParent;
    uint32_t m_Size = 0;
    uint32_t m_FirstCluster = 0;
    uint32_t m_StartCluster = 0;
    int32_t m_Estimate = -1;
    std::string m_EstimateNote;
    // How many places fit a start whose high word was cleared; 0 or 1 when
    // the start is certain.
    uint32_t m_StartCandidates = 0;
    // Listed in a folder's cluster that was joined to the folder by where
    // it lies on the volume, not by a link the volume keeps.
    bool m_PlaceGuessed = false;
    std::vector<std::unique_ptr<CDirEntry>> m_Children;
};
