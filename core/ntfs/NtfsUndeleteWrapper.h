// The NTFS engine. It mounts the volume read-only through libntfs-3g, lists
// the MFT records that are no longer in use and still carry a name, and
// copies a record's data out.
#pragma once

#include "engine/ZelEngine.h"
#include "engine/ZelLimits.h"
#include "ntfs/NtfsClusterBitmap.h"
#include "ntfs/NtfsFoundRecord.h"
#include "ntfs/NtfsIndexDecoder.h"
#include "ntfs/NtfsLibrary.h"
#include "ntfs/NtfsSourceDevice.h"

#include <memory>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class CNtfsUndeleteWrapper : public CZelEngine {
public:
    CNtfsUndeleteWrapper() = default;
    ~CNtfsUndeleteWrapper() override;

    uint32_t GetEntryCount();
    const CNtfsEntryInterface* GetEntry(uint32_t index);
    size_t OwnListedCount() override { return GetEntryCount(); }
    // Every record listed is free in the MFT bitmap: deleted. Its folder
    // is named by the path the engine made for it.
    bool OwnListed(size_t index, CZelListedEntry& entry) override;

    // Parent folders above a directory are followed at most this deep.
    static constexpr int kMaxParentDepth = zellimits::kMaxParentChain;
    // Folder paths are cut at as many characters as the longest path has
    // bytes.
    static constexpr size_t kMaxPathLength = zellimits::kMaxPathBytes;

protected:
    bool IsOpenLocked() const override;
    // Mounts the volume read-only.
    int32_t OpenLocked(const std::string& volumePath, int32_t sectorSize, std::string& error) override;
    void ReleaseLocked() override;
    // Lists the records no longer in use that carry a name; only deleted
    // records are listed (mode 1).
    int32_t ScanLocked(const std::string& volumePath, uint8_t mode, CZelEngineCheckFile* filter,
                       std::string& error) override;
    int32_t RestoreLocked(CZelRestoreSink& sink, const CZelEngineRecord& record,
                          const CZelProgressCallbackPtr& progress, CZelRestoreReport& report) override;
    boost::shared_ptr<CZelEntityIterator> CreateIterator() override;
    uint64_t DataOffsetLocked(const CZelEngineRecord& record) override;
    CZelVolumeSource* ScannedSource() override { return m_pDevice ? &m_pDevice->Source() : nullptr; }
    void ClaimedRanges(std::vector<std::pair<uint64_t, uint64_t>>& ranges) override;

private:
    int32_t ScanMftBitmap(CZelEngineCheckFile* filter);
    enum class RecordRead { Decoded, NotARecord, Unreadable };
    // The record as the volume holds it now, decoded; Unreadable when the
    // device could not read it. A record already read with others gives
    // its bytes as read in readWithOthers, where its update sequence is
    // applied.
    RecordRead ReadRecord(uint64_t record, std::vector<uint8_t>& bytes, CNtfsRecordFields& fields,
                          uint8_t* readWithOthers = nullptr);
    // ReadRecord, and for a base record with an attribute list the names
    // and data extents the records it names hold.
    RecordRead ReadFileRecord(uint64_t record, std::vector<uint8_t>& bytes, CNtfsRecordFields& fields,
                              uint8_t* readWithOthers = nullptr);
    // Records read at once while scanning.
    static constexpr uint64_t kRecordsPerRead = 64;
    // Gathers what the attribute list of record (decoded in fields) names
    // in other records: each must name record as its base.
    void GatherExtensions(uint64_t record, const std::vector<uint8_t>& bytes, CNtfsRecordFields& fields);
    // The value of a non-resident attribute, read from its runs; at most
    // limit bytes.
    bool ReadRunsValue(const CNtfsDataFields& attribute, uint64_t limit, std::vector<uint8_t>& value);
    // Lists a record the scan read (or keeps it for a name when it has
    // none), as the filter allows.
    void ListRecord(uint64_t record, const CNtfsRecordFields& fields, const std::vector<uint8_t>& bytes,
                    CZelEngineCheckFile* filter);
    // What the scan keeps of a free record; null when it has no name. Its
    // folder path is set once every record is read (AssignPaths; a record
    // of an earlier MFT's by FindOldRecords).
    std::unique_ptr<ufile> MakeFoundRecord(uint64_t record, const CNtfsRecordFields& fields);
    // A found record without its name: number, flags, time, size, and what
    // its estimate is made from.
    std::unique_ptr<ufile> NewRecord(uint64_t record, const CNtfsRecordFields& fields);
    // Size and estimate from one stream (null: the record has none that
    // makes the file).
    void MeasureStream(ufile& file, const CNtfsRecordFields& fields, const CNtfsDataFields* stream);
    // With streams listed, an entry for each named data stream of file,
    // beside it ("name:stream"), added to into.
    void AddStreams(const ufile& file, const CNtfsRecordFields& fields, std::vector<std::unique_ptr<ufile>>& into);
    // A free record that lost its names (libntfs-3g removes the $FILE_NAME
    // of a record with an attribute list when it deletes it) and still
    // holds data or an index: kept until the folders' indexes are searched
    // for its name.
    void KeepNameless(uint64_t record, const CNtfsRecordFields& fields, const std::vector<uint8_t>& bytes);
    // Names for the nameless records from the entries the folders' indexes
    // still hold (in use or left in their slack), each taken only where the
    // entry's reference names the record with its sequence number: the
    // deleted folders found, then the folders in use from the root.
    void FindIndexNames();
    // The entries of a folder's index: its root in the record and its INDX
    // blocks; false when nothing of it could be read.
    bool ReadIndex(uint64_t folder, const CNtfsRecordFields& fields, const std::vector<uint8_t>& bytes,
                   std::vector<CNtfsIndexEntry>& entries, uint64_t& budget);
    // The nameless records named (from an index, or "Record N" with the
    // extension their content tells, "Folder N"), filtered and listed.
    void AdoptNameless(CZelEngineCheckFile* filter);
    // The folder path of every record of the MFT listed, from its parent
    // reference.
    void AssignPaths();
    // A folder's name and parent: its own, or one its parent's index
    // kept; false when it has neither.
    bool FolderName(uint64_t record, const CNtfsRecordFields& fields, std::wstring& name, uint64_t& parent);
    // "$OrphanFiles/Folder N": where what was in a folder whose name or
    // record is lost is listed.
    const std::wstring& LostFolderPath(uint64_t record);
    // A deep search: the free clusters are read once for records of an
    // earlier MFT (the volume was formatted anew), each taken only when its
    // signature, update sequence and attributes check out; records the MFT
    // scan listed are not listed twice. Their tree is built from their own
    // parent references.
    // False when the device went away.
    bool FindOldRecords(CZelEngineCheckFile* filter);
    // Whether a record in use is listed: only where every file is, and
    // not one of the system's ($Extend's).
    bool ListedLive(const CNtfsRecordFields& fields) const;
    // An old record's folders, from its parent reference through the old
    // folders found; "$OrphanFiles" where the chain breaks.
    const std::wstring& OldDirectoryPath(uint64_t reference);
    // The record at offset of the volume, decoded; false when it is none
    // (any more).
    bool ReadOldRecord(uint64_t offset, std::vector<uint8_t>& bytes, CNtfsRecordFields& fields, uint64_t& number);
    // The folders from just below the root down to the directory record,
    // joined with "/"; computed once per directory and scan. Where the
    // walk up cannot go on (a folder whose name is lost, a record reused
    // since, unreadable or no record at all, a loop or a chain too deep) the
    // path starts at "$OrphanFiles/Folder N" with the record N it stopped
    // at: nothing is put under the root that its parent reference does not
    // put there. The text stays where it is until the next scan or the
    // volume is closed.
    const std::wstring& DirectoryPath(uint64_t record);
    // True when the record a reference names is still the one it named:
    // the same sequence number (one more once the record was freed).
    bool ReferenceHolds(uint64_t reference);
    // Each found file's estimate: its clusters that are free and claimed by
    // no other found record.
    void JudgeRecords();

    // What libntfs-3g reads the volume through; it outlives the mount.
    std::unique_ptr<CNtfsSourceDevice> m_pDevice;
    ntfs_volume* m_pVolume = nullptr;
    std::vector<std::unique_ptr<ufile>> m_Results;
    // The cluster stretches the found files claim, as (first, count).
    std::vector<std::pair<uint64_t, uint64_t>> m_Claimed;
    std::unique_ptr<CNtfsClusterBitmap> m_pClusters;
    std::unordered_map<uint64_t, std::wstring> m_DirectoryPaths;
    // The folders of an earlier MFT by record number: name, parent
    // reference and sequence; the paths made from them.
    struct OldFolder {
        std::wstring name;
        uint64_t parent = 0;
        uint16_t sequence = 0;
    };
    std::unordered_map<uint64_t, OldFolder> m_OldFolders;
    std::unordered_map<uint64_t, std::wstring> m_OldPaths;
    // The share of the progress the MFT scan takes.
    double m_MftShare = 1.0;
    // Said of the volume when it was opened (its boot sector taken from
    // the copy), for every scan.
    std::string m_OpenNotice;
    // The boot sector was gone: records still in use are listed too.
    bool m_ListLive = false;
    // Sequence number and use of records that references were checked
    // against, this scan.
    std::unordered_map<uint64_t, std::pair<uint16_t, bool>> m_Sequences;
    // The free extension records the scan met, by the base record they
    // name: a deletion may leave the base's attribute list without the
    // entries for them.
    std::unordered_map<uint64_t, std::vector<uint64_t>> m_Extensions;
    // Records this scan could not read: each is tried and counted once.
    std::unordered_set<uint64_t> m_UnreadableRecords;
    // Free records without a name, waiting for one, with their streams'
    // entries; the deleted folders found, whose indexes may name them.
    struct Nameless {
        std::unique_ptr<ufile> file;
        std::vector<std::unique_ptr<ufile>> streams;
        uint16_t sequence = 0;
        std::string extension;
    };
    std::vector<Nameless> m_Nameless;
    std::vector<uint64_t> m_DeletedFolders;
    // Names the folders' indexes kept for nameless records.
    struct IndexName {
        std::wstring name;
        uint64_t parent = 0;
        uint8_t nameSpace = 0;
    };
    std::unordered_map<uint64_t, IndexName> m_IndexNames;
    std::unordered_map<uint64_t, std::wstring> m_LostPaths;
};
