// A directory or file the exFAT walk found: one entry set with its names,
// place in the found list, extent and, for a deleted file, the judgement of
// how much of it the volume still holds.
#pragma once

#include "engine/ZelEngineRecord.h"

#include <cstdint>
#include <string>

class CExfatFoundEntry : public CZelEngineRecord {
public:
    CZelFoundEntryView GetView() const override
    {
        CZelFoundEntryView view;
        view.wideName = wideName.c_str();
        view.narrowName = name.c_str();
        view.size = dataLength;
        view.directory = directory;
        return view;
    }
    int32_t GetRecoveryEstimate() const override { return estimate; }
    std::string GetRecoveryNote() const override { return note; }

    // The name in UTF-8 and as wide text.
    std::string name;
    std::wstring wideName;
    // The folder it was found in, as an index into the found list; -1 for
    // the root.
    int32_t parent = -1;
    bool directory = false;
    // Its own set is marked deleted.
    bool deleted = false;
    // It or a folder above it is marked deleted.
    bool inDeletedTree = false;
    uint16_t attributes = 0;
    uint32_t firstCluster = 0;
    bool noFatChain = false;
    uint64_t validDataLength = 0;
    uint64_t dataLength = 0;
    uint32_t modifiedTimestamp = 0;
    uint8_t modified10ms = 0;
    uint8_t modifiedUtcOffset = 0;

    // Files only, after the walk: the share of what a restore reads that
    // is the file's own (0 to 100, -1 before it is judged), and why that
    // share is below 100.
    int32_t estimate = -1;
    std::string note;
};
