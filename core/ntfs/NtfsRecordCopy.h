// Writes the data of one deleted MFT record to a new file: its unnamed
// stream (or, without one, its streams one after the other within its
// largest size), resident values from the record, runs cluster by cluster.
// Clusters that other files use now, holes, and clusters past the volume's
// end are left as gaps that read as zeros; the file gets its exact size and
// the record's last data change time.
#pragma once

#include "jexfscore/ZelCallback.h"
#include "ntfs/NtfsClusterBitmap.h"
#include "ntfs/NtfsLibrary.h"
#include "ntfs/NtfsRecordDecoder.h"

#include <cstdint>
#include <vector>

class CNtfsRecordCopy {
public:
    // record was decoded from bytes, the record as the volume holds it now.
    CNtfsRecordCopy(ntfs_volume* volume, CNtfsClusterBitmap& clusters, const CNtfsRecordFields& record,
                    const std::vector<uint8_t>& bytes, CZelProgressCallbackPtr progress);
    CNtfsRecordCopy(const CNtfsRecordCopy&) = delete;
    CNtfsRecordCopy& operator=(const CNtfsRecordCopy&) = delete;
    ~CNtfsRecordCopy();

    // False when nothing could be written, or a write or read failed.
    bool Run(const char* destination);

private:
    // The streams that make the file, and the size they fill.
    void ChooseStreams();
    // Creates the destination the first time data is to be written.
    bool OpenDestination();
    bool CopyResident(const CNtfsDataFields& stream);
    bool CopyRuns(const CNtfsDataFields& stream);
    // Copies up to the clusters left of one run from lcn on, as one stretch
    // of free clusters (read) or of clusters in use now (a gap); the number
    // of clusters taken.
    int64_t CopyStretch(int64_t lcn, int64_t left, uint64_t& position, uint64_t initialized, bool& ok);
    // The zeros left to write, the file's length and time, and closing it;
    // ok tells whether the copy went well so far.
    bool Finish(bool ok);
    void Report();

    ntfs_volume* m_pVolume;
    CNtfsClusterBitmap& m_Clusters;
    const CNtfsRecordFields& m_Record;
    const std::vector<uint8_t>& m_Bytes;
    CZelProgressCallbackPtr m_pProgress;
    const char* m_Destination = nullptr;
    int m_Fd = -1;
    std::vector<const CNtfsDataFields*> m_Streams;
    uint64_t m_Budget = 0;
    uint64_t m_Remaining = 0;
    // Up to this many clusters move in one read.
    uint64_t m_BatchClusters = 1;
    std::vector<uint8_t> m_Buffer;
};
