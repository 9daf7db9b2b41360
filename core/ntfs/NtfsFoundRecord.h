// A record the NTFS scan found: one MFT record no longer in use, with the
// name, folder path, size and time it shows. What it takes to restore it is
// read again from the volume when it is restored.
#pragma once

#include "ntfs/NtfsEntryInterface.h"
#include "ntfs/NtfsRecordDecoder.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class ufile : public CNtfsEntryInterface {
public:
    uint8_t GetFlags() const override { return m_FlagByte; }
    uint32_t GetAttributes() const override { return 0; }
    const char* GetNameA() const override { return m_HasName ? m_Name.c_str() : nullptr; }
    const wchar_t* GetParentPathW() const override { return m_pParentPath != nullptr ? m_pParentPath->c_str() : nullptr; }
    int32_t GetKind() const override { return m_Directory ? 3 : 1; }
    uint64_t GetSize() const override { return m_Size; }
    int32_t GetRecoveryEstimate() const override { return m_Directory ? -1 : m_Estimate; }
    std::string GetRecoveryNote() const override { return EstimateNote(); }
    const char* StreamName() const override { return m_pStream ? m_pStream->c_str() : nullptr; }

    // Why the estimate is below 100; empty when it is not.
    const std::string& EstimateNote() const
    {
        static const std::string kNone;
        return m_pEstimateNote ? *m_pEstimateNote : kNone;
    }
    void SetEstimateNote(std::string note)
    {
        if (note.empty())
            m_pEstimateNote.reset();
        else
            m_pEstimateNote = std::make_unique<std::string>(std::move(note));
    }

    // The members are ordered so that little is lost to padding: a scan of
    // a large volume keeps hundreds of thousands of these.
    uint64_t m_RecordNumber = 0;
    // Last data change, as NTFS time.
    int64_t m_NtfsTime = 0;
    // Where a record of an earlier MFT was found in free clusters (a volume
    // formatted anew); 0 for a record of the volume's own MFT.
    uint64_t m_OldRecordOffset = 0;
    // A record still in use, listed because the volume's boot sector was
    // gone and every file is at risk: its clusters are its own.
    bool m_Live = false;
    // The folder it was in, by reference: from its own name, or from the
    // folder's index when its record lost its name; 0 when not known (it is
    // listed under "$OrphanFiles").
    uint64_t m_ParentReference = 0;
    // The file's exact size: its unnamed stream's data size, or the largest
    // size any name or stream gives when it has none (a named stream's
    // entry: that stream's size).
    uint64_t m_Size = 0;
    // The first cluster of the data, once the clusters are dropped; -1 when
    // the data lies in the record or is not known.
    int64_t m_FirstCluster = -1;
    // How much of the file the volume still shows as its own.
    int32_t m_Estimate = -1;
    uint16_t m_RecordFlags = 0;
    uint8_t m_FlagByte = 0;
    bool m_Directory = false;
    bool m_HasName = false;
    // The record lost its $FILE_NAME: its name came from its folder's
    // index, or it is named by its record ("Record N", "Folder N").
    bool m_NameFromIndex = false;
    bool m_Nameless = false;
    // UTF-8: most names fit in the string itself, with nothing more to
    // allocate.
    std::string m_Name;
    // The parent folders' path, shared by the records below one folder and
    // kept by the engine for as long as its found set.
    const std::wstring* m_pParentPath = nullptr;
    // The clusters of the unnamed stream the size needs: first cluster and
    // count, holes left out. Kept while the scan makes the estimates.
    std::vector<std::pair<int64_t, int64_t>> m_Clusters;
    // A named data stream of the record listed as an entry of its own
    // ("name:stream"): the stream's name, UTF-8; null for the file itself.
    std::unique_ptr<std::string> m_pStream;

private:
    // Few files have one: kept apart.
    std::unique_ptr<std::string> m_pEstimateNote;
};

// The name shown for a record: the convertible name of the lowest name
// space (the long name, not the 8.3 alias), the first on a tie; -1 when no
// name converts.
int ZelNtfsPreferredName(const std::vector<CNtfsFileNameFields>& names);
// A name as wide text; false when it cannot be converted (empty, or holding
// a zero unit). Lone surrogates become U+FFFD.
bool ZelNtfsConvertName(const std::u16string& name, std::wstring& wide);
// The unnamed data stream of a record, or null.
const CNtfsDataFields* ZelNtfsUnnamedStream(const CNtfsRecordFields& record);
// True when a stream's runs on the volume overlap each other or together
// claim more clusters than the volume has: no file system writes them so,
// and copying them would copy the volume over and over.
bool ZelNtfsRunsImplausible(const CNtfsDataFields& stream, int64_t volumeClusters);
// The largest size any name or stream of the record gives.
uint64_t ZelNtfsLargestSize(const CNtfsRecordFields& record);
// Seconds since 1970 from NTFS time, rounded toward zero.
int64_t ZelNtfsTimeToUnix(int64_t ntfsTime);
