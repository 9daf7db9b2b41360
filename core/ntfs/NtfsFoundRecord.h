// A record the NTFS scan found: one MFT record no longer in use, with its
// names, data streams, size and the parent folders of its name.
#pragma once

#include "ntfs/NtfsEntryInterface.h"
#include "ntfs/NtfsRecordDecoder.h"

#include <cstdint>
#include <string>
#include <vector>

// One $FILE_NAME of the record.
struct FileNameRecord {
    uint64_t parentReference = 0;
    uint64_t allocatedSize = 0;
    uint64_t dataSize = 0;
    uint8_t nameSpace = 0;
    std::u16string name;
    // The name as UTF-8; empty when it cannot be converted.
    std::string multibyte;
    bool convertible = false;
};

// One $DATA of the record.
struct DataStreamRecord {
    // The stream name as UTF-8; empty for the unnamed stream.
    std::string name;
    bool named = false;
    bool resident = false;
    uint64_t dataSize = 0;
    uint64_t initializedSize = 0;
    uint64_t allocatedSize = 0;
    // Resident value: where it lies in the record copy.
    size_t valueOffset = 0;
    size_t valueLength = 0;
    // Non-resident runs; none when they could not be decoded.
    bool hasRuns = false;
    std::vector<CNtfsRun> runs;
};

class ufile : public CNtfsEntryInterface {
public:
    uint8_t GetFlags() const override { return m_FlagByte; }
    uint32_t GetAttributes() const override { return 0; }
    const char* GetNameA() const override { return nullptr; }
    const wchar_t* GetNameW() const override { return m_HasName ? m_WideName.c_str() : nullptr; }
    const wchar_t* GetParentPathW() const override { return m_HasParentPath ? m_WideParentPath.c_str() : nullptr; }
    int32_t GetKind() const override { return m_Directory ? 3 : 1; }
    uint64_t GetSize() const override { return m_Size; }

    uint64_t m_RecordNumber = 0;
    // Last data change, as NTFS time and as whole seconds since 1970.
    int64_t m_NtfsTime = 0;
    int64_t m_Date = 0;
    std::vector<FileNameRecord> m_Names;
    std::vector<DataStreamRecord> m_Streams;
    // Index into m_Names of the preferred name, -1 when there is none.
    int m_Preferred = -1;
    // The largest size any name or stream gives, and the file's exact size:
    // its unnamed stream's data size, or the largest size without one.
    uint64_t m_MaxSize = 0;
    uint64_t m_Size = 0;
    bool m_Directory = false;
    uint16_t m_RecordFlags = 0;
    std::vector<uint8_t> m_RecordCopy;
    bool m_HasName = false;
    std::wstring m_WideName;
    bool m_HasParentPath = false;
    std::wstring m_WideParentPath;
    uint8_t m_FlagByte = 0;

    // The unnamed stream, or null.
    const DataStreamRecord* UnnamedStream() const;
};

// Seconds since 1970 from NTFS time, rounded toward zero.
int64_t ZelNtfsTimeToUnix(int64_t ntfsTime);
