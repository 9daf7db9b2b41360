// The files a signature search found, as every engine lists and restores
// them: under "$Carved/<type>/", each named by its byte offset on the
// volume ("f0001234567.jpg"), after the engine's own entries.
#pragma once

#include "carve/Carver.h"
#include "engine/ZelEngineRecord.h"
#include "engine/ZelListedEntry.h"

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

class CZelEngineCheckFile;

class CZelCarvedRecord : public CZelEngineRecord {
public:
    explicit CZelCarvedRecord(CZelCarvedFile file);

    CZelFoundEntryView GetView() const override;
    int32_t GetRecoveryEstimate() const override { return m_Estimate; }
    std::string GetRecoveryNote() const override { return m_Note; }
    const char* CarvedType() const override { return m_File.type.c_str(); }

    const CZelCarvedFile& File() const { return m_File; }
    const std::string& Name() const { return m_Name; }

private:
    CZelCarvedFile m_File;
    std::string m_Name;
    std::wstring m_WideName;
    int32_t m_Estimate = 0;
    std::string m_Note;
};

class CZelCarvedSet {
public:
    // Takes the carver's settled files that pass filter (null: all).
    void Take(const CZelCarver& carver, CZelEngineCheckFile* filter);
    void Clear();

    // The listing: "$Carved", a folder per type, the files. first is the
    // index of the listing's first entry among all of the engine's.
    size_t ListedCount() const { return m_Listing.size(); }
    bool Listed(size_t index, size_t first, CZelListedEntry& entry) const;
    // The record of this set, or null.
    const CZelCarvedRecord* Find(const CZelEngineRecord& record) const;

private:
    struct Item {
        // Index in m_Records, or -1 for a folder.
        int64_t record = -1;
        // The folder it lies in, as an index into the listing; -1: the root.
        int64_t parent = -1;
        std::string name;
    };
    std::vector<std::unique_ptr<CZelCarvedRecord>> m_Records;
    std::unordered_set<const CZelCarvedRecord*> m_Own;
    std::vector<Item> m_Listing;
};
