// Writes the data of one deleted MFT record to a new file: its unnamed
// stream (or, without one, its streams one after the other within its
// largest size), resident values from the record, runs cluster by cluster.
// Clusters that other files use now, holes, and clusters past the volume's
// end are left as gaps that read as zeros; clusters that cannot be read, or
// whose use the cluster bitmap cannot tell, are zeros too and make the file
// partial. The file gets its exact size and the record's last data change
// time, and its final name only once it is written whole.
#pragma once

#include "engine/ZelRestoreVerdict.h"

#include "jexfscore/ZelCallback.h"
#include "jexfscore/ZelResult.h"
#include "jexfscore/ZelRestoreSink.h"
#include "ntfs/NtfsClusterBitmap.h"
#include "ntfs/NtfsLibrary.h"
#include "ntfs/NtfsRecordDecoder.h"
#include "ntfs/NtfsSourceDevice.h"

#include <cstdint>
#include <string>
#include <vector>

class CNtfsRecordCopy {
public:
    // record was decoded from bytes, the record as the volume holds it now;
    // the clusters are read from the device's source.
    CNtfsRecordCopy(ntfs_volume* volume, CNtfsSourceDevice& device, CNtfsClusterBitmap& clusters,
                    const CNtfsRecordFields& record, const std::vector<uint8_t>& bytes,
                    CZelProgressCallbackPtr progress, CZelRestoreSink& out);
    CNtfsRecordCopy(const CNtfsRecordCopy&) = delete;
    CNtfsRecordCopy& operator=(const CNtfsRecordCopy&) = delete;

    // The file's clusters are in use by the file itself (a live file of a
    // volume whose boot sector was gone): they are read, not left as zeros.
    void ReadClustersInUse() { m_ReadInUse = true; }
    // The file is this one stream of the record (a named stream's entry).
    void OnlyStream(const CNtfsDataFields* stream) { m_pOnly = stream; }
    // Fills the report: restored, partial or failed, and why; a file that
    // was written is judged with the verdict, which holds its estimate.
    void Run(CZelRestoreReport& report, CZelRestoreVerdict& verdict);

private:
    // The streams that make the file, and the size they fill.
    void ChooseStreams();
    // Creates the destination the first time data is to be written.
    bool OpenDestination();
    bool CopyResident(const CNtfsDataFields& stream);
    bool CopyRuns(const CNtfsDataFields& stream);
    // A compressed stream, unit by unit: a unit whose clusters are all
    // there is stored as it is, one with fewer holds LZNT1 chunks, one with
    // none is zeros.
    bool CopyCompressed(const CNtfsDataFields& stream);
    // Copies up to the clusters left of one run from lcn on, as one stretch
    // of free clusters (read), of clusters in use now (a gap) or of clusters
    // whose use cannot be told (zeros, counted); the number of clusters
    // taken.
    int64_t CopyStretch(int64_t lcn, int64_t left, uint64_t& position, uint64_t initialized, bool& ok);
    // The zeros left to write, the file's length, time and name; ok tells
    // whether the copy went well so far.
    bool Finish(bool ok);
    void Report();

    // The device is gone: the copy fails, saying so.
    bool Gone(int error);

    ntfs_volume* m_pVolume;
    CNtfsSourceDevice& m_Device;
    CZelVolumeSource& m_Source;
    CNtfsClusterBitmap& m_Clusters;
    bool m_ReadInUse = false;
    const CNtfsDataFields* m_pOnly = nullptr;
    const CNtfsRecordFields& m_Record;
    const std::vector<uint8_t>& m_Bytes;
    CZelProgressCallbackPtr m_pProgress;
    CZelRestoreSink& m_Out;
    std::vector<const CNtfsDataFields*> m_Streams;
    uint64_t m_Budget = 0;
    // The data runs cannot be believed; the bytes of the size left out.
    bool m_Implausible = false;
    uint64_t m_Cut = 0;
    uint64_t m_Remaining = 0;
    // Up to this many clusters move in one read.
    uint64_t m_BatchClusters = 1;
    // What could not be read, what the volume does not hold, and why the
    // copy failed.
    uint64_t m_Unreadable = 0;
    uint64_t m_Beyond = 0;
    uint64_t m_Missing = 0;
    uint64_t m_UnknownUse = 0;
    // Compression units whose chunks could not be decompressed.
    uint64_t m_BadUnits = 0;
    int m_ReadError = 0;
    std::string m_Failure;
};
