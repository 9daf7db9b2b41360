// The part every recovery engine shares: the engine lock that serialises
// Open, Close, scans and restores, the generation that ends the records of a
// finished scan, the published scan progress, the volume's root name and the
// reason of the last failure. An engine adds what is its own through the
// protected operations; all but CreateIterator are called with the engine
// lock held.
#pragma once

#include "carve/CarvedSet.h"
#include "carve/Carver.h"
#include "engine/EngineGeneration.h"
#include "engine/ZelEngineRecord.h"
#include "engine/ZelListedEntry.h"
#include "jexfscore/ZelCallback.h"
#include "jexfscore/ZelEntries.h"
#include "jexfscore/ZelRestoreSink.h"
#include "jexplatform/VolumeSource.h"

#include <boost/enable_shared_from_this.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class CZelEngineCheckFile;

// What an engine's restore answers besides 0 (the report tells the rest).
constexpr int32_t kZelNotThisEngine = -2; // not a record of this engine, or nothing is open
constexpr uint64_t kZelNoDataOffset = UINT64_MAX;

class CZelEngine : public boost::enable_shared_from_this<CZelEngine> {
public:
    CZelEngine() = default;
    virtual ~CZelEngine() = default;
    CZelEngine(const CZelEngine&) = delete;
    CZelEngine& operator=(const CZelEngine&) = delete;

    // Binds the engine to a volume path, ending what was open: 0, or -1
    // when the volume cannot be opened (GetLastError says why).
    int32_t Open(const char* volumePath, int32_t blockSize);
    // Releases the volume and the found records.
    void Close();
    // The text after the last "/" of the volume path; found paths begin
    // with it.
    std::string GetRootName();
    // Scans the volume for deleted entries; mode 1 keeps only deleted files,
    // mode 0 (where the engine serves it) every entry. 0 after a completed
    // scan, -1 when the volume cannot be scanned (GetLastError says why).
    // A deep search also searches the free space (where the engine has a
    // way to).
    int32_t FindDeleted(const char* volumePath, uint8_t mode, CZelEngineCheckFile* filter, bool deep = false);
    // The scans that follow also list a file's named data streams as
    // entries of their own, where the file system has them (NTFS).
    void SetListStreams(bool list) { m_ListStreams = list; }
    // Asks the running scan to end as soon as it can, keeping what it
    // found; may be called from any thread.
    void RequestStop() { m_StopRequested = true; }
    // The last scan ended because it was asked to.
    bool WasStopped() const { return m_Stopped; }
    // Bytes the last scan read from the volume, with those the Open before
    // it read.
    uint64_t GetBytesRead() const { return m_BytesRead; }
    // The size of the volume last opened for reading; 0 when not known.
    uint64_t GetVolumeBytes() const { return m_VolumeBytes; }
    // What the last scan says of how it read the volume (a layout it had to
    // rebuild); empty when there is nothing to say.
    std::string GetNotice();
    // Stretches the last scan could not read and passed over.
    uint64_t GetUnreadableCount();
    // The bytes of those stretches.
    uint64_t GetUnreadableBytes();
    // An iterator over the found entries that shares this engine.
    boost::shared_ptr<CZelEntityIterator> GetIterator();
    // The found entries of the last scan in the order the iterator hands
    // them out (a folder before what it holds): the engine's own, then
    // those a deep search found by their signatures; false past the end.
    size_t ListedCount() { return OwnListedCount() + m_Carved.ListedCount(); }
    bool Listed(size_t index, CZelListedEntry& entry);
    // True when the narrow names and paths keep the volume's own bytes
    // (FAT's 8.3 names): the root's name is then kept as it is too.
    virtual bool ListsNarrowNames() const { return false; }
    // Writes a found file's data to a new file at destination; the report
    // says whether it was restored, partly restored or not written, and why.
    // 0, or kZelNotThisEngine.
    int32_t RestoreFile(const char* destination, const CZelEngineRecord* record,
                        const CZelProgressCallbackPtr& progress, CZelRestoreReport& report);
    // The same into sink, for a record found under generation;
    // kZelStaleRecord, without looking at the record, when that generation
    // has ended.
    int32_t RestoreCurrentFile(uint64_t generation, CZelRestoreSink& sink, const CZelEngineRecord* record,
                               const CZelProgressCallbackPtr& progress, CZelRestoreReport& report);
    // Why a record found under generation is judged below 100; empty once
    // that generation has ended.
    std::string RecordNote(uint64_t generation, const CZelEngineRecord* record);
    // Where on the volume the data of a record found under generation
    // starts, in bytes: restores of many files go in that order.
    // kZelNoDataOffset when it is not known (data kept in the record, or the
    // generation has ended).
    uint64_t DataOffset(uint64_t generation, const CZelEngineRecord* record);
    // Advice that a record found under generation, whose data starts at
    // offset (as DataOffset gave it), will be restored soon: the volume may
    // start reading bytes of it.
    void WillRestore(uint64_t generation, uint64_t offset, uint64_t bytes);
    // Where Open reads volumes from: the device or image file unless a test
    // puts a source of its own in its place.
    void SetVolumeOpener(ZelVolumeOpener opener);
    // Scan progress, a fraction from 0 to 1; may be asked from any thread.
    double GetProgress();
    // Bumped by Open, Close and every scan: the records of an earlier
    // generation are gone.
    uint64_t GetGeneration();
    // Why the last Open or scan failed (device path and reason), empty when
    // it did not.
    std::string GetLastError();

protected:
    // The engine's own found entries, as ListedCount and Listed give them.
    virtual size_t OwnListedCount() = 0;
    virtual bool OwnListed(size_t index, CZelListedEntry& entry) = 0;
    // The volume as the last scan read it, for restoring the files found by
    // their signatures; null when it is not open.
    virtual CZelVolumeSource* ScannedSource() { return nullptr; }
    // The byte ranges of the volume the engine's found files claim, for the
    // signature search to leave to them.
    virtual void ClaimedRanges(std::vector<std::pair<uint64_t, uint64_t>>& /*ranges*/) {}
    // The signature search of a deep scan, null otherwise: the engine tells
    // it where clusters start and hands it what its pass reads.
    CZelCarver* Carver() { return m_pCarver.get(); }

    // The engine's own parts; all but CreateIterator run with the engine
    // lock held.
    virtual bool IsOpenLocked() const = 0;
    virtual int32_t OpenLocked(const std::string& volumePath, int32_t blockSize, std::string& error) = 0;
    virtual void ReleaseLocked() = 0;
    virtual int32_t ScanLocked(const std::string& volumePath, uint8_t mode, CZelEngineCheckFile* filter,
                               std::string& error) = 0;
    // Fills the report; kZelNotThisEngine when the record is not the
    // engine's.
    virtual int32_t RestoreLocked(CZelRestoreSink& sink, const CZelEngineRecord& record,
                                  const CZelProgressCallbackPtr& progress, CZelRestoreReport& report) = 0;
    // Where the record's data starts; kZelNoDataOffset when not known.
    virtual uint64_t DataOffsetLocked(const CZelEngineRecord& /*record*/) { return kZelNoDataOffset; }
    // The one iterator over the listing, unless the engine names its own.
    virtual boost::shared_ptr<CZelEntityIterator> CreateIterator();

    // Publishes scan progress, clamped to 0..1.
    void SetProgress(double value);
    // Counts a stretch of bytes of the volume the scan could not read.
    void CountUnreadable(uint64_t bytes);
    void SetNotice(const std::string& text);
    // Opens a volume through the opener in place; what is read from it is
    // counted.
    std::unique_ptr<CZelVolumeSource> OpenSource(const std::string& path, std::string& error);
    // The choice of the running scan, and whether it was asked to stop (the
    // scan then keeps what it found, and the engine says it was stopped).
    bool DeepSearch() const { return m_Deep; }
    bool ListStreams() const { return m_ListStreams; }
    bool StopRequested() const { return m_StopRequested; }
    const std::atomic<bool>& StopFlag() const { return m_StopRequested; }

private:
    void CloseLocked();
    // A deep search of a volume whose file system could not be read (why):
    // the whole volume read for signatures; false when it cannot be read or
    // holds no file that could be found so.
    bool SearchRaw(const std::string& volume, const std::string& why);
    int32_t RestoreCarved(CZelRestoreSink& sink, const CZelCarvedRecord& record, const CZelProgressCallbackPtr& progress,
                          CZelRestoreReport& report);
    int32_t RestoreChecked(CZelRestoreSink* sink, const CZelEngineRecord* record,
                           const CZelProgressCallbackPtr& progress, CZelRestoreReport& report);
    void SetLastError(const std::string& error);

    std::mutex m_EngineLock;
    CZelEngineGeneration m_Generation;
    // Guards the progress, the last error and the volume path, which other
    // threads read while a scan runs.
    boost::mutex m_StateLock;
    double m_Progress = 0.0;
    std::string m_LastError;
    std::string m_Notice;
    uint64_t m_Unreadable = 0;
    uint64_t m_UnreadableBytes = 0;
    ZelVolumeOpener m_Opener;
    bool m_Deep = false;
    bool m_ListStreams = false;
    std::atomic<bool> m_StopRequested{false};
    std::atomic<bool> m_Stopped{false};
    // Bytes read through the sources opened; those of an Open are kept for
    // the scan after it.
    std::atomic<uint64_t> m_BytesRead{0};
    std::atomic<uint64_t> m_VolumeBytes{0};
    uint64_t m_OpenBytes = 0;
    // Why the volume could not be opened, until the next Open.
    std::string m_OpenError;
    std::string m_VolumePath;
    std::unique_ptr<CZelCarver> m_pCarver;
    // The volume as a search by signatures alone read it.
    std::unique_ptr<CZelVolumeSource> m_pRawSource;
    CZelCarvedSet m_Carved;
};
