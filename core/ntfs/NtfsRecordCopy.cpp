#include "ntfs/NtfsRecordCopy.h"

#include "jexplatform/OutputFile.h"
#include "ntfs/NtfsFoundRecord.h"
#include "ntfs/NtfsLayout.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

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

CNtfsRecordCopy::CNtfsRecordCopy(ntfs_volume* volume, CNtfsClusterBitmap& clusters, const CNtfsRecordFields& record,
                                 const std::vector<uint8_t>& bytes, CZelProgressCallbackPtr progress)
    : m_pVolume(volume), m_Clusters(clusters), m_Record(record), m_Bytes(bytes), m_pProgress(std::move(progress))
{
    const uint32_t clusterSize = m_pVolume->cluster_size;
    m_BatchClusters = std::max<uint64_t>(1, (1u << 20) / clusterSize);
    m_Buffer.resize(static_cast<size_t>(m_BatchClusters * clusterSize));
}

CNtfsRecordCopy::~CNtfsRecordCopy()
{
    if (m_Fd >= 0)
        ::close(m_Fd);
}

bool CNtfsRecordCopy::Run(const char* destination)
{
    m_Destination = destination;
    ChooseStreams();
    bool ok = true;
    for (const CNtfsDataFields* stream : m_Streams) {
        if (!ok || m_Remaining == 0)
            break;
        if (stream->resident)
            ok = CopyResident(*stream);
        else if (stream->runsDecoded && !stream->runs.empty())
            ok = CopyRuns(*stream);
    }
    return Finish(ok);
}

void CNtfsRecordCopy::ChooseStreams()
{
    // The unnamed stream alone makes the file; a record without one gives
    // its streams one after the other within its largest size.
    if (const CNtfsDataFields* unnamed = ZelNtfsUnnamedStream(m_Record)) {
        m_Streams.push_back(unnamed);
        m_Budget = unnamed->dataSize;
    } else {
        for (const CNtfsDataFields& stream : m_Record.dataStreams)
            m_Streams.push_back(&stream);
        m_Budget = ZelNtfsLargestSize(m_Record);
    }
    m_Remaining = m_Budget;
}

bool CNtfsRecordCopy::OpenDestination()
{
    if (m_Fd < 0)
        m_Fd = ZelCreateNewFile(m_Destination, 0600);
    return m_Fd >= 0;
}

bool CNtfsRecordCopy::CopyResident(const CNtfsDataFields& stream)
{
    if (!OpenDestination())
        return false;
    uint64_t n = std::min<uint64_t>(stream.valueLength, m_Remaining);
    if (stream.valueOffset > m_Bytes.size() || n > m_Bytes.size() - stream.valueOffset ||
        !ZelWriteAll(m_Fd, m_Bytes.data() + stream.valueOffset, static_cast<size_t>(n)))
        return false;
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
            ok = ZelSkipZeros(m_Fd, bytes);
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

int64_t CNtfsRecordCopy::CopyStretch(int64_t lcn, int64_t left, uint64_t& position, uint64_t initialized, bool& ok)
{
    const uint64_t clusterSize = m_pVolume->cluster_size;
    // A stretch of clusters that are all free (read) or all in use by
    // other files now (zeros).
    int state = m_Clusters.InUse(lcn);
    int64_t limit = std::min<int64_t>({static_cast<int64_t>(m_BatchClusters), left, m_pVolume->nr_clusters - lcn});
    int64_t count = 1;
    while (count < limit && static_cast<uint64_t>(count) * clusterSize < m_Remaining &&
           m_Clusters.InUse(lcn + count) == state)
        ++count;
    uint64_t bytes = std::min<uint64_t>(static_cast<uint64_t>(count) * clusterSize, m_Remaining);
    if (state == 0) {
        s64 wanted = static_cast<s64>(count) * static_cast<s64>(clusterSize);
        if (ntfs_pread(m_pVolume->dev, lcn * static_cast<s64>(clusterSize), wanted, m_Buffer.data()) != wanted) {
            ok = false;
            return count;
        }
        if (position + bytes > initialized) {
            uint64_t keep = position >= initialized ? 0 : initialized - position;
            std::memset(m_Buffer.data() + keep, 0, static_cast<size_t>(bytes - keep));
        }
        ok = ZelWriteAll(m_Fd, m_Buffer.data(), static_cast<size_t>(bytes));
    } else {
        ok = ZelSkipZeros(m_Fd, bytes);
    }
    position += bytes;
    m_Remaining -= bytes;
    Report();
    return count;
}

bool CNtfsRecordCopy::Finish(bool ok)
{
    // Runs that end before the size: the rest of the file reads as zeros.
    if (ok && m_Fd >= 0 && m_Remaining > 0 && ZelNtfsUnnamedStream(m_Record) != nullptr) {
        ok = ZelSkipZeros(m_Fd, m_Remaining);
        m_Remaining = 0;
    }
    // An empty file is still a file.
    if (ok && m_Fd < 0 && m_Budget == 0)
        ok = OpenDestination();
    // Nothing could be written: every stream was skipped.
    if (m_Fd < 0)
        return false;
    // Zeros at the end were skipped: the file gets its full length.
    if (ok) {
        off_t end = ::lseek(m_Fd, 0, SEEK_CUR);
        ok = end >= 0 && ::ftruncate(m_Fd, end) == 0;
    }
    if (ok && m_Record.hasStandardInformation && m_Record.dataChangeTime != 0) {
        timespec times[2] = {ToTimespec(m_Record.dataChangeTime), ToTimespec(m_Record.dataChangeTime)};
        ::futimens(m_Fd, times);
    }
    int fd = m_Fd;
    m_Fd = -1;
    if (::close(fd) != 0)
        ok = false;
    if (ok) {
        m_Remaining = 0;
        Report();
    }
    return ok;
}

void CNtfsRecordCopy::Report()
{
    if (!m_pProgress)
        return;
    double value = m_Budget == 0 ? 1.0 : 1.0 - static_cast<double>(m_Remaining) / static_cast<double>(m_Budget);
    m_pProgress->Fire(std::min(1.0, std::max(0.0, value)));
}
