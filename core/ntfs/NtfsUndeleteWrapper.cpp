#include "ntfs/NtfsUndeleteWrapper.h"

#include "engine/ZelOrphanFolder.h"
#include "filters/EngineCheckFile.h"
#include "jexcommon/ZelText.h"
#include "ntfs/NtfsBackupBoot.h"
#include "ntfs/NtfsLayout.h"
#include "ntfs/NtfsRecordCopy.h"
#include "ntfs/ZelIteratorNtfsStandart.h"
#include "platform/DiagLog.h"

#include <boost/make_shared.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
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

const char* const kImplausibleRuns = "its data runs overlap each other or claim more clusters than the volume has";

} // namespace

CNtfsUndeleteWrapper::~CNtfsUndeleteWrapper()
{
    Close();
}

bool CNtfsUndeleteWrapper::IsOpenLocked() const
{
    return m_pVolume != nullptr;
}

int32_t CNtfsUndeleteWrapper::OpenLocked(const std::string& volumePath, int32_t /*sectorSize*/, std::string& error)
{
    std::string reason;
    std::unique_ptr<CZelVolumeSource> source = OpenSource(volumePath, reason);
    if (!source) {
        error = volumePath + ": " + reason;
        return -1;
    }
    // A volume whose boot sector is gone is read with the copy NTFS keeps
    // in its last sector.
    m_OpenNotice.clear();
    m_ListLive = false;
    std::vector<uint8_t> backup = ZelNtfsBackupBoot(*source);
    if (!backup.empty()) {
        source = std::make_unique<CZelNtfsBackupBootSource>(std::move(source), std::move(backup));
        m_OpenNotice = volumePath + ": no NTFS boot sector; the copy in its last sector was read instead, and every "
                                    "file is listed";
        m_ListLive = true;
    }
    auto device = std::make_unique<CNtfsSourceDevice>(std::move(source));
    struct ntfs_device* ntfsDevice = device->Allocate();
    if (ntfsDevice == nullptr) {
        error = volumePath + ": " + std::strerror(errno);
        return -1;
    }
    // Read-only, and forensic: the library changes nothing while mounting.
    ntfs_volume* volume = ntfs_device_mount(ntfsDevice, NTFS_MNT_RDONLY | NTFS_MNT_FORENSIC);
    if (volume == nullptr) {
        int reason = errno;
        ntfs_device_free(ntfsDevice);
        if (device->Vanished())
            error = volumePath + ": the device is gone (" + std::strerror(device->LastError()) + ")";
        else if (reason == EINVAL || reason == EIO)
            error = volumePath + ": not a readable NTFS volume (" + std::strerror(reason) + ")";
        else
            error = volumePath + ": " + std::strerror(reason);
        ZelLogLine("Cannot mount " + error);
        return -1;
    }
    if ((volume->flags & VOLUME_IS_DIRTY) != 0)
        ZelLogFormat("%s: the volume is marked dirty; it is read all the same.", volumePath.c_str());
    if (volume->mft_na == nullptr || volume->mftbmp_na == nullptr || volume->mft_record_size == 0 ||
        volume->cluster_size == 0) {
        ntfs_umount(volume, FALSE);
        error = volumePath + ": the volume has no readable master file table";
        return -1;
    }
    m_pDevice = std::move(device);
    m_pVolume = volume;
    m_pClusters = std::make_unique<CNtfsClusterBitmap>(volume);
    return 0;
}

void CNtfsUndeleteWrapper::ReleaseLocked()
{
    m_Results.clear();
    m_Nameless.clear();
    m_IndexNames.clear();
    m_LostPaths.clear();
    m_Claimed.clear();
    m_DirectoryPaths.clear();
    m_pClusters.reset();
    if (m_pVolume != nullptr)
        ntfs_umount(m_pVolume, FALSE);
    m_pVolume = nullptr;
    m_pDevice.reset();
}

int32_t CNtfsUndeleteWrapper::ScanLocked(const std::string& volumePath, uint8_t mode, CZelEngineCheckFile* filter,
                                         std::string& error)
{
    if (mode == 0) {
        error = volumePath + ": only deleted records can be listed";
        return -1;
    }
    m_Results.clear();
    m_Claimed.clear();
    m_DirectoryPaths.clear();
    m_Sequences.clear();
    m_UnreadableRecords.clear();
    m_OldFolders.clear();
    m_OldPaths.clear();
    m_Nameless.clear();
    m_DeletedFolders.clear();
    m_Extensions.clear();
    m_IndexNames.clear();
    m_LostPaths.clear();
    if (!m_OpenNotice.empty())
        SetNotice(m_OpenNotice);
    m_MftShare = DeepSearch() ? 0.3 : 1.0;
    int32_t result = ScanMftBitmap(filter);
    // Records that lost their names get them from the folders' indexes
    // where these still hold them; a stopped search names them by their
    // records.
    if (result == 0 && !m_Nameless.empty() && !StopRequested() && !m_pDevice->Vanished())
        FindIndexNames();
    AdoptNameless(filter);
    bool gone = false;
    if (result == 0 && DeepSearch() && !StopRequested() && !m_pDevice->Vanished())
        gone = !FindOldRecords(filter);
    if (gone) {
        error = volumePath + ": the device is gone; the search ended there";
        return -1;
    }
    if (result == 0 && !m_pDevice->Vanished()) {
        AssignPaths();
        JudgeRecords();
    }
    if (m_pDevice->Vanished()) {
        error = volumePath + ": the device is gone (" + std::strerror(m_pDevice->LastError()) +
                "); the search ended there";
        return -1;
    }
    return result;
}

int32_t CNtfsUndeleteWrapper::ScanMftBitmap(CZelEngineCheckFile* filter)
{
    ntfs_attr* bitmap = m_pVolume->mftbmp_na;
    const s64 bitmapBytes = bitmap->initialized_size;
    // The MFT cannot hold more records than the volume has room for.
    const uint64_t room = static_cast<uint64_t>(m_pVolume->nr_clusters) * m_pVolume->cluster_size /
                          m_pVolume->mft_record_size;
    const uint64_t records = std::min<uint64_t>(
        static_cast<uint64_t>(m_pVolume->mft_na->initialized_size) >> m_pVolume->mft_record_size_bits, room);
    std::vector<uint8_t> buffer(8192);
    std::vector<uint8_t> bytes;
    std::vector<uint64_t> withList;
    // The records are read a block at a time: one read for the block
    // instead of one for each record. A block that cannot be read whole is
    // read record by record, so that what cannot be read is told apart.
    const uint64_t recordSize = m_pVolume->mft_record_size;
    std::vector<uint8_t> block(static_cast<size_t>(kRecordsPerRead * recordSize));
    for (s64 offset = 0; offset < bitmapBytes; offset += static_cast<s64>(buffer.size())) {
        s64 wanted = std::min<s64>(static_cast<s64>(buffer.size()), bitmapBytes - offset);
        // A search that is stopped keeps the records read so far.
        if (m_pDevice->Vanished() || StopRequested())
            break;
        s64 got = ntfs_attr_pread(bitmap, offset, wanted, buffer.data());
        if (got <= 0) {
            // The records this part of the bitmap tells of are passed over.
            ZelLogFormat("Cannot read the MFT bitmap at byte %lld (%s); its records are passed over.",
                         static_cast<long long>(offset), std::strerror(errno));
            CountUnreadable(static_cast<uint64_t>(wanted));
            continue;
        }
        const uint64_t base = static_cast<uint64_t>(offset) * 8;
        const uint64_t end = std::min<uint64_t>(base + static_cast<uint64_t>(got) * 8, records);
        // Free records; every user record where all files are listed.
        auto free = [&](uint64_t record) {
            uint64_t bit = record - base;
            const bool inUse = ((buffer[static_cast<size_t>(bit / 8)] >> (bit % 8)) & 1) != 0;
            return (!inUse || (m_ListLive && record >= kFirstUserRecord)) && m_UnreadableRecords.count(record) == 0;
        };
        for (uint64_t first = base; first < end; first += kRecordsPerRead) {
            SetProgress(m_MftShare * static_cast<double>(first) / static_cast<double>(records));
            const uint64_t last = std::min<uint64_t>(first + kRecordsPerRead, end);
            uint64_t wantedRecords = 0;
            for (uint64_t record = first; record < last; ++record)
                wantedRecords += free(record) ? 1 : 0;
            if (wantedRecords == 0)
                continue;
            // A single free record is read alone, as before.
            bool whole = false;
            if (wantedRecords > 1) {
                const s64 bytesWanted = static_cast<s64>((last - first) * recordSize);
                whole = ntfs_attr_pread(m_pVolume->mft_na, static_cast<s64>(first << m_pVolume->mft_record_size_bits),
                                        bytesWanted, block.data()) == bytesWanted;
            }
            for (uint64_t record = first; record < last; ++record) {
                // A folder found unreadable on the way up from a file is
                // not read again.
                if (!free(record))
                    continue;
                CNtfsRecordFields fields;
                RecordRead read =
                    ReadRecord(record, bytes, fields, whole ? block.data() + (record - first) * recordSize : nullptr);
                if (read == RecordRead::Unreadable) {
                    if (m_pDevice->Vanished())
                        return -1;
                    ZelLogFormat("MFT record %llu cannot be read (%s); it is passed over.",
                                 static_cast<unsigned long long>(record), std::strerror(m_pDevice->LastError()));
                    m_UnreadableRecords.insert(record);
                    CountUnreadable(recordSize);
                }
                // Extension records are parts of their base record's file.
                if (read == RecordRead::Decoded && fields.baseReference != 0 && !fields.InUse())
                    m_Extensions[RecordOf(fields.baseReference)].push_back(record);
                if (read != RecordRead::Decoded || fields.baseReference != 0)
                    continue;
                // A record with an attribute list is gathered once every
                // extension record is known.
                if (fields.hasAttributeList)
                    withList.push_back(record);
                else
                    ListRecord(record, fields, bytes, filter);
            }
        }
        if (end >= records)
            break;
    }
    for (uint64_t record : withList) {
        if (m_pDevice->Vanished())
            return -1;
        if (StopRequested())
            break;
        CNtfsRecordFields fields;
        if (ReadFileRecord(record, bytes, fields) == RecordRead::Decoded)
            ListRecord(record, fields, bytes, filter);
    }
    // In the order of their records, as the MFT holds them; a file's
    // streams stay after it.
    std::stable_sort(m_Results.begin(), m_Results.end(),
                     [](const std::unique_ptr<ufile>& a, const std::unique_ptr<ufile>& b) {
                         return a->m_RecordNumber < b->m_RecordNumber;
                     });
    SetProgress(m_MftShare);
    return 0;
}

void CNtfsUndeleteWrapper::ListRecord(uint64_t record, const CNtfsRecordFields& fields,
                                      const std::vector<uint8_t>& bytes, CZelEngineCheckFile* filter)
{
    // The new system's own records ($Extend's) are no user files.
    if (m_ListLive && fields.InUse() && !ListedLive(fields))
        return;
    std::unique_ptr<ufile> file = MakeFoundRecord(record, fields);
    if (!file) {
        if (!fields.InUse())
            KeepNameless(record, fields, bytes);
        return;
    }
    file->m_Live = m_ListLive && fields.InUse();
    if (file->m_Directory && !file->m_Live)
        m_DeletedFolders.push_back(record);
    CZelFoundEntryView view = file->GetView();
    if (filter != nullptr && !filter->Check(&view))
        return;
    m_Results.push_back(std::move(file));
    AddStreams(*m_Results.back(), fields, m_Results);
}

std::unique_ptr<ufile> CNtfsUndeleteWrapper::MakeFoundRecord(uint64_t record, const CNtfsRecordFields& fields)
{
    std::wstring converted;
    for (const CNtfsFileNameFields& name : fields.fileNames)
        if (!ZelNtfsConvertName(name.name, converted))
            ZelLogFormat("Record %llu: a name that cannot be converted.", static_cast<unsigned long long>(record));
    int preferred = ZelNtfsPreferredName(fields.fileNames);
    if (preferred < 0)
        return nullptr;
    std::unique_ptr<ufile> file = NewRecord(record, fields);
    // The entry shows its preferred name (the long one, not the 8.3 alias),
    // below the folders of that name's parent.
    const CNtfsFileNameFields& name = fields.fileNames[static_cast<size_t>(preferred)];
    std::wstring wide;
    ZelNtfsConvertName(name.name, wide);
    file->m_Name = ZelWideToNarrow(wide);
    file->m_HasName = true;
    file->m_ParentReference = name.parentReference;
    return file;
}

std::unique_ptr<ufile> CNtfsUndeleteWrapper::NewRecord(uint64_t record, const CNtfsRecordFields& fields)
{
    for (const CNtfsDataFields& stream : fields.dataStreams)
        if (!stream.resident && !stream.runsDecoded)
            ZelLogFormat("Record %llu: the data runs of a stream cannot be decoded.",
                         static_cast<unsigned long long>(record));
    auto file = std::make_unique<ufile>();
    file->m_RecordNumber = record;
    file->m_RecordFlags = fields.flags;
    if (fields.hasStandardInformation)
        file->m_NtfsTime = fields.dataChangeTime;
    file->m_Directory = fields.hasIndexRoot;
    const CNtfsDataFields* unnamed = ZelNtfsUnnamedStream(fields);
    file->m_Size = unnamed != nullptr ? unnamed->dataSize : ZelNtfsLargestSize(fields);
    MeasureStream(*file, fields, unnamed);
    return file;
}

void CNtfsUndeleteWrapper::MeasureStream(ufile& file, const CNtfsRecordFields& fields, const CNtfsDataFields* stream)
{
    // What the estimate is made from: the clusters of the stream, as far as
    // the size needs them.
    if (stream != nullptr && stream->resident) {
        file.m_Estimate = 100;
    } else if (stream != nullptr && stream->runsDecoded && ZelNtfsRunsImplausible(*stream, m_pVolume->nr_clusters)) {
        file.m_Estimate = 0;
        file.SetEstimateNote(kImplausibleRuns);
    } else if (stream != nullptr && stream->runsDecoded) {
        // The size comes from the volume: rounded up without overflow, and
        // never more clusters than the volume holds.
        const uint64_t clusterSize = m_pVolume->cluster_size;
        const int64_t needed = static_cast<int64_t>(std::min<uint64_t>(
            stream->dataSize / clusterSize + (stream->dataSize % clusterSize != 0 ? 1 : 0),
            static_cast<uint64_t>(m_pVolume->nr_clusters)));
        for (const CNtfsRun& run : stream->runs) {
            if (run.vcn >= needed)
                break;
            if (run.lcn >= 0)
                file.m_Clusters.emplace_back(run.lcn, std::min(run.length, needed - run.vcn));
        }
        file.m_Estimate = 0;
        const int64_t end = stream->runs.empty() ? 0 : stream->runs.back().vcn + stream->runs.back().length;
        if (stream->incomplete)
            file.SetEstimateNote("some of its data runs lie in MFT records that hold something else now");
        else if (end < needed)
            file.SetEstimateNote("its data runs end before its size: the MFT records that held the rest are lost");
    } else if (stream != nullptr) {
        file.m_Estimate = 0;
        file.SetEstimateNote("its data runs cannot be decoded");
    } else if (fields.hasAttributeList) {
        file.m_Estimate = 0;
        file.SetEstimateNote("its data lies in MFT records that hold something else now");
    }
}

uint32_t CNtfsUndeleteWrapper::GetEntryCount()
{
    return static_cast<uint32_t>(std::min<size_t>(m_Results.size(), UINT32_MAX));
}

const CNtfsEntryInterface* CNtfsUndeleteWrapper::GetEntry(uint32_t index)
{
    return index < m_Results.size() ? m_Results[index].get() : nullptr;
}

bool CNtfsUndeleteWrapper::OwnListed(size_t index, CZelListedEntry& entry)
{
    const CNtfsEntryInterface* record = index < m_Results.size() ? m_Results[index].get() : nullptr;
    if (record == nullptr)
        return false;
    entry = CZelListedEntry();
    entry.record = record;
    entry.ownFolderPath = true;
    entry.folderPath = m_Results[index]->m_pParentPath;
    // The UTF-8 texts alone are kept: they convert back to the very same
    // wide ones (names are Unicode scalar values).
    entry.nameA = record->GetNameA() == nullptr ? std::string() : std::string(record->GetNameA());
    entry.leafA = entry.nameA;
    entry.directory = record->GetKind() == 3;
    entry.size = record->GetSize();
    entry.deleted = !m_Results[index]->m_Live;
    return true;
}

boost::shared_ptr<CZelEntityIterator> CNtfsUndeleteWrapper::CreateIterator()
{
    return boost::make_shared<CZelIteratorNtfsStandart>(
        boost::static_pointer_cast<CNtfsUndeleteWrapper>(shared_from_this()));
}

uint64_t CNtfsUndeleteWrapper::DataOffsetLocked(const CZelEngineRecord& record)
{
    const ufile* file = dynamic_cast<const ufile*>(&record);
    if (file == nullptr || file->m_FirstCluster < 0 || m_pVolume == nullptr ||
        file->m_FirstCluster >= m_pVolume->nr_clusters)
        return kZelNoDataOffset;
    return static_cast<uint64_t>(file->m_FirstCluster) * m_pVolume->cluster_size;
}

int32_t CNtfsUndeleteWrapper::RestoreLocked(CZelRestoreSink& sink, const CZelEngineRecord& record,
                                            const CZelProgressCallbackPtr& progress, CZelRestoreReport& report)
{
    const ufile* file = dynamic_cast<const ufile*>(&record);
    if (file == nullptr)
        return kZelNotThisEngine;
    // The record as it is now: one in use again belongs to another file.
    std::vector<uint8_t> bytes;
    CNtfsRecordFields fields;
    // A record of an earlier MFT is read again where it was found; it was
    // in use when the volume was formatted.
    uint64_t number = 0;
    if (file->m_OldRecordOffset != 0 &&
        (!ReadOldRecord(file->m_OldRecordOffset, bytes, fields, number) || number != file->m_RecordNumber)) {
        report.reason = L"the old MFT record it was found in holds something else now";
        return 0;
    }
    switch (file->m_OldRecordOffset != 0 ? RecordRead::Decoded : ReadFileRecord(file->m_RecordNumber, bytes, fields)) {
    case RecordRead::Decoded:
        break;
    case RecordRead::NotARecord:
        report.reason = L"its MFT record no longer holds a file";
        return 0;
    case RecordRead::Unreadable:
        report.reason = ZelNarrowToWide(m_pDevice->Source().Path() + (m_pDevice->Vanished() ? ": the device is gone (" : ": its MFT record cannot be read (") +
                                        std::strerror(m_pDevice->LastError()) + ")");
        return 0;
    }
    if (fields.InUse() && file->m_OldRecordOffset == 0 && !file->m_Live) {
        report.reason = L"its MFT record belongs to another file now";
        return 0;
    }
    if (fields.dataStreams.empty()) {
        report.reason = L"its MFT record holds no data";
        return 0;
    }
    // A named stream's entry restores that stream alone.
    const CNtfsDataFields* chosen = nullptr;
    if (file->m_pStream) {
        std::wstring wide;
        for (const CNtfsDataFields& stream : fields.dataStreams)
            if (!stream.name.empty() && ZelNtfsConvertName(stream.name, wide) && ZelWideToNarrow(wide) == *file->m_pStream)
                chosen = &stream;
        if (chosen == nullptr) {
            report.reason = ZelNarrowToWide("its MFT record no longer holds the stream " + *file->m_pStream);
            return 0;
        }
    }
    // Encrypted data copied out as it is would be no use to anyone, and
    // calling it restored would be false.
    const CNtfsDataFields* unnamed = chosen != nullptr ? chosen : ZelNtfsUnnamedStream(fields);
    if ((fields.fileAttributes & kFileAttributeEncrypted) != 0 || (unnamed != nullptr && unnamed->encrypted)) {
        report.reason = L"the file is encrypted (EFS): its data cannot be restored in readable form";
        return 0;
    }
    // A file the volume does not show whole as its own is partial, with the
    // estimate and why.
    CZelRestoreVerdict verdict(file->m_Estimate, file->EstimateNote());
    CNtfsRecordCopy copy(m_pVolume, *m_pDevice, *m_pClusters, fields, bytes, progress, sink);
    if (file->m_Live)
        copy.ReadClustersInUse();
    if (chosen != nullptr)
        copy.OnlyStream(chosen);
    copy.Run(report, verdict);
    return 0;
}
