#include "ntfs/NtfsUndeleteWrapper.h"

#include "filters/EngineCheckFile.h"
#include "jexfscore/ZelText.h"
#include "ntfs/NtfsLayout.h"
#include "platform/DiagLog.h"
#include "platform/OutputFile.h"
#include "platform/VolumePath.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

using namespace ntfslayout;

namespace {

// libntfs-3g's own messages go to the core's log.
int LogFromLibrary(const char* /*function*/, const char* /*file*/, int /*line*/, u32 /*level*/, void* /*data*/,
                   const char* format, va_list args)
{
    char text[1024];
    int n = std::vsnprintf(text, sizeof text, format, args);
    if (n > 0)
        ZelLogLine(std::string("ntfs-3g: ") + text);
    return n;
}

struct CNtfsLogSetup {
    CNtfsLogSetup()
    {
        ntfs_log_set_handler(&LogFromLibrary);
        ntfs_log_set_levels(NTFS_LOG_LEVEL_ERROR | NTFS_LOG_LEVEL_PERROR | NTFS_LOG_LEVEL_CRITICAL |
                            NTFS_LOG_LEVEL_WARNING);
    }
} g_NtfsLogSetup;

// The MFT record number of a file reference (its low 48 bits).
uint64_t RecordOf(uint64_t reference)
{
    return reference & 0x0000FFFFFFFFFFFFull;
}

// A name is unconvertible when it holds a zero unit; lone surrogates become
// U+FFFD.
bool ConvertName(const std::u16string& name, std::wstring& wide, std::string& narrow)
{
    if (name.empty() || name.find(u'\0') != std::u16string::npos)
        return false;
    wide = ZelUtf16ToWide(name.data(), name.size());
    narrow = ZelWideToNarrow(wide);
    return true;
}

// The preferred name: the lowest name space among the convertible names, the
// first on a tie; -1 when none converts.
int PreferredName(const std::vector<FileNameRecord>& names)
{
    int preferred = -1;
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i].convertible && (preferred < 0 || names[i].nameSpace < names[preferred].nameSpace))
            preferred = static_cast<int>(i);
    return preferred;
}

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

void Report(const CZelProgressCallbackPtr& progress, uint64_t remaining, uint64_t total)
{
    if (!progress)
        return;
    double value = total == 0 ? 1.0 : 1.0 - static_cast<double>(remaining) / static_cast<double>(total);
    progress->Fire(std::min(1.0, std::max(0.0, value)));
}

} // namespace

CNtfsUndeleteWrapper::~CNtfsUndeleteWrapper()
{
    Close();
}

int32_t CNtfsUndeleteWrapper::Open(const char* volumePath, int32_t /*sectorSize*/)
{
    std::lock_guard<std::mutex> engine(m_EngineLock);
    CloseLocked();
    m_LastError.clear();
    if (volumePath == nullptr || *volumePath == 0) {
        m_LastError = "no volume path";
        return -1;
    }
    m_VolumePath = CZelStringA(volumePath);
    struct ntfs_device* device = ntfs_device_alloc(volumePath, 0, &ntfs_device_default_io_ops, nullptr);
    if (device == nullptr) {
        m_LastError = std::string(volumePath) + ": " + std::strerror(errno);
        return -1;
    }
    // Read-only, and forensic: the library changes nothing while mounting.
    ntfs_volume* volume = ntfs_device_mount(device, NTFS_MNT_RDONLY | NTFS_MNT_FORENSIC);
    if (volume == nullptr) {
        int reason = errno;
        ntfs_device_free(device);
        if (reason == EINVAL || reason == EIO)
            m_LastError = std::string(volumePath) + ": not a readable NTFS volume (" + std::strerror(reason) + ")";
        else
            m_LastError = std::string(volumePath) + ": " + std::strerror(reason);
        ZelLogLine("Cannot mount " + m_LastError);
        return -1;
    }
    if ((volume->flags & VOLUME_IS_DIRTY) != 0)
        ZelLogFormat("%s: the volume is marked dirty; it is read all the same.", volumePath);
    if (volume->mft_na == nullptr || volume->mftbmp_na == nullptr || volume->mft_record_size == 0) {
        ntfs_umount(volume, FALSE);
        m_LastError = std::string(volumePath) + ": the volume has no readable master file table";
        return -1;
    }
    m_pVolume = volume;
    m_pClusters = std::make_unique<CNtfsClusterBitmap>(volume);
    return 0;
}

void CNtfsUndeleteWrapper::Close()
{
    std::lock_guard<std::mutex> engine(m_EngineLock);
    CloseLocked();
}

void CNtfsUndeleteWrapper::CloseLocked()
{
    m_Generation.Advance();
    m_Results.clear();
    m_DirectoryPaths.clear();
    m_pClusters.reset();
    if (m_pVolume != nullptr)
        ntfs_umount(m_pVolume, FALSE);
    m_pVolume = nullptr;
}

std::string CNtfsUndeleteWrapper::GetRootName()
{
    const char* path = m_VolumePath.GetBuffer();
    return ZelRootName(path != nullptr ? path : "");
}

int32_t CNtfsUndeleteWrapper::FindDeleted(const char* volumePath, uint8_t mode, CNtfsCheckFile* filter)
{
    std::lock_guard<std::mutex> engine(m_EngineLock);
    m_Generation.Advance();
    SetProgress(0.0);
    if (mode == 0)
        return -1;
    if (m_pVolume == nullptr) {
        // Why the mount failed was recorded by Open.
        if (m_LastError.empty())
            m_LastError = std::string(volumePath != nullptr ? volumePath : "") + ": no volume is open";
        return -1;
    }
    m_LastError.clear();
    m_DirectoryPaths.clear();
    return ScanMftBitmap(filter);
}

int32_t CNtfsUndeleteWrapper::ScanMftBitmap(CNtfsCheckFile* filter)
{
    ntfs_attr* bitmap = m_pVolume->mftbmp_na;
    const s64 bitmapBytes = bitmap->initialized_size;
    // The MFT cannot hold more records than the volume has room for.
    const uint64_t room = static_cast<uint64_t>(m_pVolume->nr_clusters) * m_pVolume->cluster_size /
                          m_pVolume->mft_record_size;
    const uint64_t records = std::min<uint64_t>(
        static_cast<uint64_t>(m_pVolume->mft_na->initialized_size) >> m_pVolume->mft_record_size_bits, room);
    std::vector<uint8_t> buffer(8192);
    for (s64 offset = 0; offset < bitmapBytes; offset += static_cast<s64>(buffer.size())) {
        s64 wanted = std::min<s64>(static_cast<s64>(buffer.size()), bitmapBytes - offset);
        s64 got = ntfs_attr_pread(bitmap, offset, wanted, buffer.data());
        if (got <= 0) {
            ZelLogFormat("Cannot read the MFT bitmap at byte %lld; the scan ends there.", static_cast<long long>(offset));
            break;
        }
        for (s64 byte = 0; byte < got; ++byte) {
            for (int bit = 0; bit < 8; ++bit) {
                uint64_t record = static_cast<uint64_t>(offset + byte) * 8 + static_cast<uint64_t>(bit);
                if (record >= records) {
                    SetProgress(1.0);
                    return 0;
                }
                if (record % 256 == 0)
                    SetProgress(static_cast<double>(record) / static_cast<double>(records));
                if ((buffer[static_cast<size_t>(byte)] >> bit) & 1)
                    continue;
                std::unique_ptr<ufile> file = ReadRecord(record);
                if (!file || file->m_Preferred < 0)
                    continue;
                if (filter != nullptr && !filter->Check(file.get()))
                    continue;
                m_Results.push_back(std::move(file));
            }
        }
    }
    SetProgress(1.0);
    return 0;
}

std::unique_ptr<ufile> CNtfsUndeleteWrapper::ReadRecord(uint64_t record)
{
    const u32 size = m_pVolume->mft_record_size;
    auto file = std::make_unique<ufile>();
    file->m_RecordNumber = record;
    file->m_RecordCopy.resize(size);
    if (record > (static_cast<uint64_t>(INT64_MAX) >> m_pVolume->mft_record_size_bits))
        return nullptr;
    s64 position = static_cast<s64>(record << m_pVolume->mft_record_size_bits);
    if (ntfs_attr_mst_pread(m_pVolume->mft_na, position, 1, size, file->m_RecordCopy.data()) != 1)
        return nullptr;
    CNtfsRecordFields fields;
    if (!ZelDecodeMftRecord(file->m_RecordCopy.data(), file->m_RecordCopy.size(), fields))
        return nullptr;
    file->m_RecordFlags = fields.flags;
    if (fields.hasStandardInformation) {
        file->m_NtfsTime = fields.dataChangeTime;
        file->m_Date = ZelNtfsTimeToUnix(fields.dataChangeTime);
    }
    file->m_Directory = fields.hasIndexRoot;
    GetFileNames(*file, fields);
    GetData(*file, fields);
    return file;
}

void CNtfsUndeleteWrapper::GetFileNames(ufile& file, const CNtfsRecordFields& fields)
{
    for (const CNtfsFileNameFields& source : fields.fileNames) {
        FileNameRecord name;
        name.parentReference = source.parentReference;
        name.allocatedSize = source.allocatedSize;
        name.dataSize = source.dataSize;
        name.nameSpace = source.nameSpace;
        name.name = source.name;
        std::wstring wide;
        name.convertible = ConvertName(name.name, wide, name.multibyte);
        if (!name.convertible)
            ZelLogFormat("Record %llu: a name that cannot be converted.", static_cast<unsigned long long>(file.m_RecordNumber));
        file.m_MaxSize = std::max({file.m_MaxSize, name.allocatedSize, name.dataSize});
        file.m_Names.push_back(std::move(name));
    }
    file.m_Preferred = PreferredName(file.m_Names);
    if (file.m_Preferred < 0)
        return;
    // The entry shows its preferred name (the long one, not the 8.3 alias),
    // below the folders of that name's parent.
    const FileNameRecord& preferred = file.m_Names[static_cast<size_t>(file.m_Preferred)];
    std::string ignored;
    ConvertName(preferred.name, file.m_WideName, ignored);
    file.m_HasName = true;
    file.m_WideParentPath = DirectoryPath(RecordOf(preferred.parentReference));
    file.m_HasParentPath = true;
}

void CNtfsUndeleteWrapper::GetData(ufile& file, const CNtfsRecordFields& fields)
{
    for (const CNtfsDataFields& source : fields.dataStreams) {
        DataStreamRecord stream;
        stream.named = !source.name.empty();
        if (stream.named)
            stream.name = ZelWideToNarrow(ZelUtf16ToWide(source.name.data(), source.name.size()));
        stream.resident = source.resident;
        stream.dataSize = source.dataSize;
        stream.initializedSize = source.initializedSize;
        stream.allocatedSize = source.allocatedSize;
        stream.valueOffset = source.valueOffset;
        stream.valueLength = source.valueLength;
        stream.hasRuns = source.runsDecoded;
        stream.runs = source.runs;
        if (!stream.resident && !stream.hasRuns)
            ZelLogFormat("Record %llu: the data runs of a stream cannot be decoded.",
                         static_cast<unsigned long long>(file.m_RecordNumber));
        file.m_MaxSize = std::max({file.m_MaxSize, stream.dataSize, stream.initializedSize});
        file.m_Streams.push_back(std::move(stream));
    }
    const DataStreamRecord* unnamed = file.UnnamedStream();
    file.m_Size = unnamed != nullptr ? unnamed->dataSize : file.m_MaxSize;
}

std::wstring CNtfsUndeleteWrapper::DirectoryPath(uint64_t record)
{
    // Walk up from the directory to the root, or to a directory whose path
    // is known, or until the walk repeats itself or gets too deep.
    std::vector<std::pair<uint64_t, std::wstring>> chain;
    std::unordered_set<uint64_t> seen;
    std::wstring prefix;
    uint64_t current = record;
    while (static_cast<int>(chain.size()) < kMaxParentDepth) {
        if (current == kRootRecord)
            break;
        auto known = m_DirectoryPaths.find(current);
        if (known != m_DirectoryPaths.end()) {
            prefix = known->second;
            break;
        }
        if (!seen.insert(current).second)
            break;
        std::vector<uint8_t> bytes(m_pVolume->mft_record_size);
        if (current > (static_cast<uint64_t>(INT64_MAX) >> m_pVolume->mft_record_size_bits))
            break;
        s64 position = static_cast<s64>(current << m_pVolume->mft_record_size_bits);
        CNtfsRecordFields fields;
        if (ntfs_attr_mst_pread(m_pVolume->mft_na, position, 1, m_pVolume->mft_record_size, bytes.data()) != 1 ||
            !ZelDecodeMftRecord(bytes.data(), bytes.size(), fields))
            break;
        std::vector<FileNameRecord> names;
        for (const CNtfsFileNameFields& f : fields.fileNames) {
            FileNameRecord n;
            n.nameSpace = f.nameSpace;
            n.name = f.name;
            n.parentReference = f.parentReference;
            std::string ignored;
            std::wstring wide;
            n.convertible = ConvertName(f.name, wide, ignored);
            names.push_back(std::move(n));
        }
        int preferred = PreferredName(names);
        if (preferred < 0 || names[static_cast<size_t>(preferred)].name == u".")
            break;
        std::wstring wide;
        std::string ignored;
        ConvertName(names[static_cast<size_t>(preferred)].name, wide, ignored);
        chain.emplace_back(current, wide);
        current = RecordOf(names[static_cast<size_t>(preferred)].parentReference);
    }
    // Paths from the top down, each remembered for this scan; a path never
    // grows past the longest one a system takes.
    std::wstring path = prefix;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (path.size() + 1 + it->second.size() <= kMaxPathLength)
            path = path.empty() ? it->second : path + L"/" + it->second;
        m_DirectoryPaths[it->first] = path;
    }
    return path;
}

uint32_t CNtfsUndeleteWrapper::GetEntryCount()
{
    return static_cast<uint32_t>(std::min<size_t>(m_Results.size(), UINT32_MAX));
}

const CNtfsEntryInterface* CNtfsUndeleteWrapper::GetEntry(uint32_t index)
{
    return index < m_Results.size() ? m_Results[index].get() : nullptr;
}

int32_t CNtfsUndeleteWrapper::RestoreFile(const char* destination, const CNtfsEntryInterface* entry,
                                          CZelProgressCallbackPtr progress)
{
    std::lock_guard<std::mutex> engine(m_EngineLock);
    return Restore(destination, entry, progress);
}

int32_t CNtfsUndeleteWrapper::RestoreCurrentFile(uint64_t generation, const char* destination,
                                                 const CNtfsEntryInterface* entry, CZelProgressCallbackPtr progress)
{
    std::lock_guard<std::mutex> engine(m_EngineLock);
    if (generation != m_Generation.Current())
        return kZelStaleRecord;
    return Restore(destination, entry, progress);
}

int32_t CNtfsUndeleteWrapper::Restore(const char* destination, const CNtfsEntryInterface* entry,
                                      const CZelProgressCallbackPtr& progress)
{
    const ufile* file = dynamic_cast<const ufile*>(entry);
    if (file == nullptr || destination == nullptr || m_pVolume == nullptr)
        return -1;
    return UndeleteRecord(file->m_RecordNumber, destination, progress) ? 0 : -1;
}

bool CNtfsUndeleteWrapper::UndeleteRecord(uint64_t recordNumber, const char* destination,
                                          const CZelProgressCallbackPtr& progress)
{
    // The record as it is now: one in use again belongs to another file.
    std::unique_ptr<ufile> record = ReadRecord(recordNumber);
    if (!record || (record->m_RecordFlags & kRecordInUse) != 0 || record->m_Streams.empty())
        return false;
    const uint32_t clusterSize = m_pVolume->cluster_size;

    // The unnamed stream alone makes the file; a record without one gives
    // its streams one after the other within its largest size.
    std::vector<const DataStreamRecord*> streams;
    uint64_t budget = 0;
    if (const DataStreamRecord* unnamed = record->UnnamedStream()) {
        streams.push_back(unnamed);
        budget = unnamed->dataSize;
    } else {
        for (const DataStreamRecord& stream : record->m_Streams)
            streams.push_back(&stream);
        budget = record->m_MaxSize;
    }

    int fd = -1;
    bool ok = true;
    uint64_t remaining = budget;
    // Up to this many clusters move in one read.
    const uint64_t batchClusters = std::max<uint64_t>(1, (1u << 20) / clusterSize);
    std::vector<uint8_t> buffer(static_cast<size_t>(batchClusters * clusterSize));
    auto openDestination = [&]() {
        if (fd < 0)
            fd = ZelCreateNewFile(destination, 0600);
        return fd >= 0;
    };

    for (const DataStreamRecord* stream : streams) {
        if (!ok || remaining == 0)
            break;
        if (stream->resident) {
            if (!openDestination()) {
                ok = false;
                break;
            }
            uint64_t n = std::min<uint64_t>(stream->valueLength, remaining);
            if (stream->valueOffset + n > record->m_RecordCopy.size() ||
                !ZelWriteAll(fd, record->m_RecordCopy.data() + stream->valueOffset, static_cast<size_t>(n))) {
                ok = false;
                break;
            }
            remaining -= n;
            Report(progress, remaining, budget);
            continue;
        }
        if (!stream->hasRuns || stream->runs.empty())
            continue;
        if (!openDestination()) {
            ok = false;
            break;
        }
        // Bytes of the stream at or past its initialized size read as zeros.
        uint64_t position = 0;
        const uint64_t initialized = stream->initializedSize;
        const int64_t clusters = m_pVolume->nr_clusters;
        for (const CNtfsRun& run : stream->runs) {
            if (!ok || remaining == 0)
                break;
            int64_t cluster = 0;
            while (ok && cluster < run.length && remaining > 0) {
                int64_t left = run.length - cluster;
                int64_t lcn = run.lcn < 0 ? -1 : run.lcn + cluster;
                if (lcn < 0 || lcn >= clusters) {
                    // A hole, or clusters past the end of the volume: zeros,
                    // left as a gap in the file in one step.
                    uint64_t bytes = static_cast<uint64_t>(left) > remaining / clusterSize
                                         ? remaining
                                         : static_cast<uint64_t>(left) * clusterSize;
                    ok = ZelSkipZeros(fd, bytes);
                    position += bytes;
                    remaining -= bytes;
                    cluster = run.length;
                    Report(progress, remaining, budget);
                    continue;
                }
                // A stretch of clusters that are all free (read) or all in
                // use by other files now (zeros).
                int state = m_pClusters->InUse(lcn);
                int64_t limit = std::min<int64_t>({static_cast<int64_t>(batchClusters), left, clusters - lcn});
                int64_t count = 1;
                while (count < limit && static_cast<uint64_t>(count) * clusterSize < remaining &&
                       m_pClusters->InUse(lcn + count) == state)
                    ++count;
                uint64_t bytes = std::min<uint64_t>(static_cast<uint64_t>(count) * clusterSize, remaining);
                if (state == 0) {
                    s64 got = ntfs_pread(m_pVolume->dev, lcn * static_cast<s64>(clusterSize),
                                         static_cast<s64>(count) * clusterSize, buffer.data());
                    if (got != static_cast<s64>(count) * clusterSize) {
                        ok = false;
                        break;
                    }
                    if (position + bytes > initialized) {
                        uint64_t keep = position >= initialized ? 0 : initialized - position;
                        std::memset(buffer.data() + keep, 0, static_cast<size_t>(bytes - keep));
                    }
                    ok = ZelWriteAll(fd, buffer.data(), static_cast<size_t>(bytes));
                } else {
                    ok = ZelSkipZeros(fd, bytes);
                }
                position += bytes;
                remaining -= bytes;
                cluster += count;
                Report(progress, remaining, budget);
            }
        }
    }
    // Runs that end before the size: the rest of the file reads as zeros.
    if (ok && fd >= 0 && remaining > 0 && record->UnnamedStream() != nullptr) {
        ok = ZelSkipZeros(fd, remaining);
        remaining = 0;
    }
    // An empty file is still a file.
    if (ok && fd < 0 && budget == 0)
        ok = openDestination();
    // Zeros at the end were skipped: the file gets its full length.
    if (ok && fd >= 0) {
        off_t end = ::lseek(fd, 0, SEEK_CUR);
        ok = end >= 0 && ::ftruncate(fd, end) == 0;
    }
    if (fd < 0)
        return false; // nothing could be written: every stream was skipped
    if (ok && record->m_NtfsTime != 0) {
        timespec times[2] = {ToTimespec(record->m_NtfsTime), ToTimespec(record->m_NtfsTime)};
        ::futimens(fd, times);
    }
    if (::close(fd) != 0)
        ok = false;
    if (ok)
        Report(progress, 0, budget);
    return ok;
}

double CNtfsUndeleteWrapper::GetProgress()
{
    boost::mutex::scoped_lock lock(m_ProgressLock);
    return m_Progress;
}

void CNtfsUndeleteWrapper::SetProgress(double value)
{
    boost::mutex::scoped_lock lock(m_ProgressLock);
    m_Progress = std::min(1.0, value);
}

uint64_t CNtfsUndeleteWrapper::GetGeneration()
{
    return m_Generation.Current();
}

std::string CNtfsUndeleteWrapper::GetLastError()
{
    return m_LastError;
}
