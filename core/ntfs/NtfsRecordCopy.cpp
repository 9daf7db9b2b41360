#include "ntfs/NtfsRecordCopy.h"

#include "engine/ZelVolumeCopy.h"
#include "jexcommon/ZelText.h"
#include "ntfs/NtfsFoundRecord.h"
#include "ntfs/NtfsLayout.h"
#include "ntfs/NtfsLznt1.h"

#include <algorithm>
#include <cstring>

using namespace ntfslayout;

namespace {

timespec ToTimespec(int64_t ntfsTime)
{
    if (ntfsTime < INT64_MIN + kEpochDifference)
        ntfsTime = INT64_MIN + kEpochDifference;
    int64_t since1970 = ntfsTime - kEpochDifference;
    int64_t seconds = since1970 / 10000000;
    int64_t rest = since1970 % 10000000;
    if (rest < 0) {
        rest += 10000000;
        --seconds;
    }
    timespec t;
    t.tv_sec = static_cast<time_t>(seconds);
    t.tv_nsec = static_cast<long>(rest * 100);
    return t;
}

} // namespace

CNtfsRecordCopy::CNtfsRecordCopy(ntfs_volume* volume, CNtfsSourceDevice& device, CNtfsClusterBitmap& clusters,
                                 const CNtfsRecordFields& record, const std::vector<uint8_t>& bytes,
                                 CZelProgressCallbackPtr progress, CZelRestoreSink& out)
    : m_pVolume(volume), m_Device(device), m_Source(device.Source()), m_Clusters(clusters), m_Record(record),
      m_Bytes(bytes), m_pProgress(std::move(progress)), m_Out(out)
{
}

void CNtfsRecordCopy::Run(CZelRestoreReport& report, CZelRestoreVerdict& verdict)
{
    report = CZelRestoreReport();
    ChooseStreams();
    // Reads go a megabyte at a time, or at once for a smaller file, through
    // the thread's copy buffer.
    const uint64_t clusterSize = m_pVolume->cluster_size;
    const uint64_t clusters = m_Budget / clusterSize + (m_Budget % clusterSize != 0 ? 1 : 0);
    m_BatchClusters = std::max<uint64_t>(1, std::min<uint64_t>((1u << 20) / clusterSize, clusters));
    bool ok = true;
    for (const CNtfsDataFields* stream : m_Streams) {
        if (!ok || m_Remaining == 0)
            break;
        if (stream->resident)
            ok = CopyResident(*stream);
        else if (stream->runsDecoded && !stream->runs.empty() && stream->compressed && stream->compressionUnit != 0)
            ok = CopyCompressed(*stream);
        else if (stream->runsDecoded && !stream->runs.empty())
            ok = CopyRuns(*stream);
    }
    if (!Finish(ok)) {
        report.reason = ZelNarrowToWide(m_Failure.empty() ? "nothing of the file could be written" : m_Failure);
        // What was read before the copy stopped and could not be read.
        report.unreadableBytes = m_Unreadable + m_Missing + m_UnknownUse + m_Cut;
        return;
    }
    if (m_Beyond != 0)
        verdict.ShortBy(m_Beyond, std::to_string(m_Beyond) +
                                      " bytes lie past the end of the data runs its MFT records still give and are zeros");
    if (m_Unreadable != 0)
        verdict.ShortBy(m_Unreadable, std::to_string(m_Unreadable) + " bytes could not be read (" +
                                          ZelErrorText(m_ReadError) + ") and are zeros");
    if (m_Missing != 0)
        verdict.ShortBy(m_Missing, std::to_string(m_Missing) + " bytes lie past the end of the volume and are zeros");
    if (m_UnknownUse != 0)
        verdict.ShortBy(m_UnknownUse, std::to_string(m_UnknownUse) +
                                          " bytes lie where the cluster bitmap cannot be read and are zeros");
    if (m_BadUnits != 0)
        verdict.ShortBy(0, std::to_string(m_BadUnits) + " compressed units could not be decompressed and are zeros");
    if (m_Implausible)
        verdict.ShortBy(m_Cut, "its data runs overlap each other or claim more clusters than the volume has: at most "
                               "as much as the volume holds was copied" +
                                   (m_Cut != 0 ? ", and " + std::to_string(m_Cut) +
                                                     " bytes of the size it claims were left out"
                                               : std::string()));
    verdict.Judge(report);
}

void CNtfsRecordCopy::ChooseStreams()
{
    // The unnamed stream alone makes the file; a record without one gives
    // its streams one after the other within its largest size.
    if (const CNtfsDataFields* unnamed = m_pOnly != nullptr ? m_pOnly : ZelNtfsUnnamedStream(m_Record)) {
        m_Streams.push_back(unnamed);
        m_Budget = unnamed->dataSize;
        // Runs no file system writes: never more than the volume holds is
        // written, nor the file stretched to the size it claims.
        if (!unnamed->resident && unnamed->runsDecoded &&
            ZelNtfsRunsImplausible(*unnamed, m_pVolume->nr_clusters)) {
            const uint64_t volumeBytes = static_cast<uint64_t>(m_pVolume->nr_clusters) * m_pVolume->cluster_size;
            m_Cut = m_Budget > volumeBytes ? m_Budget - volumeBytes : 0;
            m_Budget -= m_Cut;
            m_Implausible = true;
        }
    } else {
        for (const CNtfsDataFields& stream : m_Record.dataStreams)
            m_Streams.push_back(&stream);
        m_Budget = ZelNtfsLargestSize(m_Record);
    }
    m_Remaining = m_Budget;
    // Runs that end before the size: the records that held the rest are
    // lost, and what they gave is zeros.
    const bool oneStream = m_pOnly != nullptr || ZelNtfsUnnamedStream(m_Record) != nullptr;
    if (oneStream && !m_Streams.front()->resident && m_Streams.front()->runsDecoded) {
        const CNtfsDataFields& stream = *m_Streams.front();
        const uint64_t end = stream.runs.empty() ? 0 : static_cast<uint64_t>(stream.runs.back().vcn + stream.runs.back().length);
        const uint64_t clusterSize = m_pVolume->cluster_size;
        const uint64_t covered = end > m_Budget / clusterSize ? m_Budget : end * clusterSize;
        m_Beyond = m_Budget - covered;
    }
}

bool CNtfsRecordCopy::OpenDestination()
{
    if (m_Out.IsOpen())
        return true;
    if (m_Out.Open(0600))
        return true;
    m_Failure = m_Out.Error();
    return false;
}

bool CNtfsRecordCopy::CopyResident(const CNtfsDataFields& stream)
{
    if (!OpenDestination())
        return false;
    uint64_t n = std::min<uint64_t>(stream.valueLength, m_Remaining);
    if (stream.valueOffset > m_Bytes.size() || n > m_Bytes.size() - stream.valueOffset) {
        m_Failure = "its resident data lies outside its MFT record";
        return false;
    }
    if (!m_Out.Write(m_Bytes.data() + stream.valueOffset, static_cast<size_t>(n))) {
        m_Failure = m_Out.Error();
        return false;
    }
    m_Remaining -= n;
    Report();
    return true;
}

bool CNtfsRecordCopy::CopyRuns(const CNtfsDataFields& stream)
{
    if (!OpenDestination())
        return false;
    const uint64_t clusterSize = m_pVolume->cluster_size;
    const int64_t clusters = m_pVolume->nr_clusters;
    // Bytes of the stream at or past its initialized size read as zeros.
    uint64_t position = 0;
    bool ok = true;
    for (const CNtfsRun& run : stream.runs) {
        int64_t cluster = 0;
        while (ok && cluster < run.length && m_Remaining > 0) {
            int64_t left = run.length - cluster;
            int64_t lcn = run.lcn < 0 ? -1 : run.lcn + cluster;
            if (lcn >= 0 && lcn < clusters) {
                cluster += CopyStretch(lcn, left, position, stream.initializedSize, ok);
                continue;
            }
            // A hole, or clusters past the end of the volume: zeros, left
            // as a gap in the file in one step.
            uint64_t bytes = static_cast<uint64_t>(left) > m_Remaining / clusterSize
                                 ? m_Remaining
                                 : static_cast<uint64_t>(left) * clusterSize;
            ok = m_Out.Skip(bytes);
            if (!ok)
                m_Failure = m_Out.Error();
            position += bytes;
            m_Remaining -= bytes;
            cluster = run.length;
            Report();
        }
        if (!ok || m_Remaining == 0)
            break;
    }
    return ok;
}

bool CNtfsRecordCopy::CopyCompressed(const CNtfsDataFields& stream)
{
    if (!OpenDestination())
        return false;
    const uint64_t clusterSize = m_pVolume->cluster_size;
    // Units larger than 64 clusters are none NTFS writes.
    if (stream.compressionUnit > 6) {
        m_Failure = "its compression unit of 2^" + std::to_string(stream.compressionUnit) + " clusters is not one NTFS uses";
        return false;
    }
    const int64_t unitClusters = int64_t(1) << stream.compressionUnit;
    const uint64_t unitBytes = static_cast<uint64_t>(unitClusters) * clusterSize;
    std::vector<uint8_t> packed(static_cast<size_t>(unitBytes)), plain(static_cast<size_t>(unitBytes));
    size_t run = 0;
    for (int64_t unit = 0; m_Remaining > 0; ++unit) {
        const int64_t first = unit * unitClusters;
        // The unit's clusters that are there, in order; holes end it.
        size_t have = 0;
        int64_t present = 0;
        bool readable = true;
        while (run < stream.runs.size() && stream.runs[run].vcn + stream.runs[run].length <= first)
            ++run;
        for (size_t r = run; r < stream.runs.size() && stream.runs[r].vcn < first + unitClusters; ++r) {
            const CNtfsRun& piece = stream.runs[r];
            if (piece.lcn < 0)
                continue;
            const int64_t from = std::max(piece.vcn, first), to = std::min(piece.vcn + piece.length, first + unitClusters);
            for (int64_t vcn = from; vcn < to && have + clusterSize <= packed.size(); ++vcn) {
                const int64_t lcn = piece.lcn + (vcn - piece.vcn);
                if (lcn >= m_pVolume->nr_clusters) {
                    readable = false;
                    continue;
                }
                if (m_Clusters.InUse(lcn) != 0 && !m_ReadInUse)
                    readable = false;
                CZelSalvagedRead read = ZelReadSalvaging(m_Source, static_cast<uint64_t>(lcn) * clusterSize,
                                                         packed.data() + have, static_cast<size_t>(clusterSize),
                                                         std::max<uint32_t>(m_Source.SectorSize(), 512));
                if (read.vanished)
                    return Gone(read.error);
                if (read.unreadable != 0 || read.bytes < clusterSize) {
                    m_Unreadable += read.unreadable + (clusterSize - read.bytes);
                    m_ReadError = read.error;
                    readable = false;
                }
                have += static_cast<size_t>(clusterSize);
                ++present;
            }
        }
        const uint64_t bytes = std::min(unitBytes, m_Remaining);
        bool ok = true;
        if (present == 0) {
            ok = m_Out.Skip(bytes);
        } else if (present == unitClusters) {
            ok = m_Out.Write(packed.data(), static_cast<size_t>(bytes));
        } else {
            size_t produced = 0;
            bool decoded = ZelLznt1Decompress(packed.data(), have, plain.data(), plain.size(), produced);
            std::fill(plain.begin() + static_cast<std::ptrdiff_t>(produced), plain.end(), 0);
            if (!decoded || !readable)
                ++m_BadUnits;
            ok = m_Out.Write(plain.data(), static_cast<size_t>(bytes));
        }
        if (!ok) {
            m_Failure = m_Out.Error();
            return false;
        }
        m_Remaining -= bytes;
        Report();
    }
    return true;
}

bool CNtfsRecordCopy::Gone(int error)
{
    m_Failure = m_Source.Path() + ": the device is gone (" + ZelErrorText(error) + ")";
    return false;
}

int64_t CNtfsRecordCopy::CopyStretch(int64_t lcn, int64_t left, uint64_t& position, uint64_t initialized, bool& ok)
{
    const uint64_t clusterSize = m_pVolume->cluster_size;
    // A stretch of clusters that are all free (read), all in use by other
    // files now (zeros), or all of a use the bitmap cannot tell.
    int state = m_Clusters.InUse(lcn);
    if (state > 0 && m_ReadInUse)
        state = 0;
    // No more than the sink takes (a preview), to the next cluster.
    const uint64_t room = std::max<uint64_t>(m_Out.Room(), 1);
    const int64_t roomClusters =
        static_cast<int64_t>(std::min<uint64_t>(m_BatchClusters, room / clusterSize + (room % clusterSize != 0 ? 1 : 0)));
    int64_t limit = std::min<int64_t>({roomClusters, left, m_pVolume->nr_clusters - lcn});
    int64_t count = 1;
    while (count < limit && static_cast<uint64_t>(count) * clusterSize < m_Remaining &&
           (m_Clusters.InUse(lcn + count) == state || (m_ReadInUse && state == 0 && m_Clusters.InUse(lcn + count) > 0)))
        ++count;
    if (m_Device.Vanished()) {
        ok = Gone(m_Device.LastError());
        return count;
    }
    uint64_t bytes = std::min<uint64_t>(static_cast<uint64_t>(count) * clusterSize, m_Remaining);
    if (state == 0) {
        // Only what lies before the initialized size is read; the rest is
        // zeros whatever the clusters hold.
        uint64_t meaningful = position >= initialized ? 0 : std::min(bytes, initialized - position);
        CZelSalvagedRead read;
        uint8_t* buffer = ZelCopyBuffer(static_cast<size_t>(bytes));
        if (meaningful != 0)
            read = ZelReadSalvaging(m_Source, static_cast<uint64_t>(lcn) * clusterSize, buffer,
                                    static_cast<size_t>(meaningful), std::max<uint32_t>(m_Source.SectorSize(), 512));
        if (read.vanished) {
            ok = Gone(read.error);
            return count;
        }
        if (read.unreadable != 0) {
            m_Unreadable += read.unreadable;
            m_ReadError = read.error;
        }
        // Clusters inside the volume that the device does not hold.
        if (read.bytes < meaningful)
            m_Missing += meaningful - read.bytes;
        std::memset(buffer + read.bytes, 0, static_cast<size_t>(bytes - read.bytes));
        ok = m_Out.Write(buffer, static_cast<size_t>(bytes));
    } else {
        if (state < 0)
            m_UnknownUse += bytes;
        ok = m_Out.Skip(bytes);
    }
    if (!ok && m_Failure.empty())
        m_Failure = m_Out.Error();
    position += bytes;
    m_Remaining -= bytes;
    Report();
    return count;
}

bool CNtfsRecordCopy::Finish(bool ok)
{
    // Runs that end before the size: the rest of the file reads as zeros
    // (unless the runs are not to be believed).
    if (ok && m_Out.IsOpen() && m_Remaining > 0 &&
        (m_pOnly != nullptr || ZelNtfsUnnamedStream(m_Record) != nullptr) && !m_Implausible) {
        ok = m_Out.Skip(m_Remaining);
        m_Remaining = 0;
    }
    // An empty file is still a file.
    if (ok && !m_Out.IsOpen() && m_Budget == 0)
        ok = OpenDestination();
    // Nothing could be written: every stream was skipped.
    if (!m_Out.IsOpen())
        return false;
    // Whatever was read after the device went is not the file's.
    if (ok && m_Device.Vanished())
        ok = Gone(m_Device.LastError());
    if (ok && m_Record.hasStandardInformation && m_Record.dataChangeTime != 0)
        m_Out.SetTimes(ToTimespec(m_Record.dataChangeTime));
    ok = ok && m_Out.Commit();
    if (!ok) {
        if (m_Failure.empty())
            m_Failure = m_Out.Error();
        m_Out.Discard();
        return false;
    }
    m_Remaining = 0;
    Report();
    return true;
}

void CNtfsRecordCopy::Report()
{
    if (!m_pProgress)
        return;
    double value = m_Budget == 0 ? 1.0 : 1.0 - static_cast<double>(m_Remaining) / static_cast<double>(m_Budget);
    m_pProgress->Fire(std::min(1.0, std::max(0.0, value)));
}
