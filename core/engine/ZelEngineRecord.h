// What the found records of every engine share: the engine-neutral view that
// filters ask about, and a common base through which a found-file object
// hands its record back to the engine that made it.
#pragma once

#include <cstdint>
#include <string>

// A found entry as filters see it. The texts belong to the record and live
// as long as it does.
struct CZelFoundEntryView {
    // The name in wide text; null when the entry has none.
    const wchar_t* wideName = nullptr;
    // The name in the volume's narrow text; null when the entry has none.
    const char* narrowName = nullptr;
    uint64_t size = 0;
    bool directory = false;
};

class CZelEngineRecord {
public:
    virtual ~CZelEngineRecord() = default;
    virtual CZelFoundEntryView GetView() const = 0;
    // How much of the file the volume still holds as its own, 0 to 100;
    // -1 when the engine does not judge it.
    virtual int32_t GetRecoveryEstimate() const { return -1; }
    // Why the estimate is below 100; empty when it is not.
    virtual std::string GetRecoveryNote() const { return std::string(); }
    // The type of a file found by its signature ("jpg"); null for a file
    // found through the file system.
    virtual const char* CarvedType() const { return nullptr; }
    // For a named data stream listed as an entry of its own ("name:stream"),
    // the stream's name; null for a file.
    virtual const char* StreamName() const { return nullptr; }
};
