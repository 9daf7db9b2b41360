// The found-entry objects handed out by the iterators: independent copies of
// a found directory's or file's names, path, size and flags, plus, for files,
// the engine record they restore from.
#pragma once

#include "engine/ZelEngine.h"
#include "engine/ZelFileSink.h"
#include "jexcommon/ZelText.h"
#include "jexfscore/ZelEntries.h"

#include <boost/shared_ptr.hpp>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

// A path kept as the part that names the folder it lies in (with the "/"
// after it), shared by every entry found in that folder, and the entry's
// own last part. A scan of a large volume keeps hundreds of thousands of
// entries, and a deep tree's folder part can be thousands of characters.
struct CZelSharedPath {
    std::shared_ptr<const std::string> folder;
    std::string leaf;

    std::string Text() const
    {
        if (!folder)
            return leaf;
        std::string text;
        text.reserve(folder->size() + leaf.size());
        text += *folder;
        text += leaf;
        return text;
    }
    bool Empty() const { return !folder && leaf.empty(); }
};

// Fields and answers shared by directories and files.
template <class TBase>
class CZelFSFileEntryImpl : public TBase {
public:
    explicit CZelFSFileEntryImpl(CZelFSFileEntryType type) : m_Type(type) {}

    uint32_t GetAttributes() override { return m_Attributes; }
    bool IsDeleted() override { return m_Deleted; }
    CZelFSFileEntryType GetType() override { return m_Type; }
    std::string GetPathA() override { return m_PathA.Text(); }
    // The stored UTF-8 path, or the narrow path converted when none was
    // stored (narrow texts that are not UTF-8 read as Windows-1252).
    std::wstring GetPath() override { return ZelNarrowToWide(m_pPathU ? m_pPathU->Text() : m_PathA.Text()); }
    std::string GetPathUtf8() override
    {
        if (m_pPathU)
            return m_pPathU->Text();
        std::string narrow = m_PathA.Text();
        return ZelIsUtf8(narrow) ? narrow : ZelWideToNarrow(ZelNarrowToWide(narrow));
    }
    const std::string& GetNameA() override { return m_NameA; }
    std::wstring GetName() override { return ZelNarrowToWide(m_pNameU ? *m_pNameU : m_NameA); }

    // Filled by the iterator that builds the entry.
    void SetAttributes(uint32_t attributes) { m_Attributes = attributes; }
    void SetDeleted(bool deleted) { m_Deleted = deleted; }
    // nameU is the name shown, in UTF-8, where an engine gives one of its
    // own (FAT32's long names); empty, the narrow name converted stands
    // for it.
    void SetNames(std::string nameA, std::string nameU)
    {
        m_NameA = std::move(nameA);
        m_pNameU = nameU.empty() ? nullptr : std::make_unique<std::string>(std::move(nameU));
    }
    // The same for paths.
    void SetPaths(CZelSharedPath pathA, CZelSharedPath pathU)
    {
        m_PathA = std::move(pathA);
        m_pPathU = pathU.Empty() ? nullptr : std::make_unique<CZelSharedPath>(std::move(pathU));
    }

protected:
    uint32_t m_Attributes = 0;
    bool m_Deleted = false;
    CZelFSFileEntryType m_Type;
    CZelSharedPath m_PathA;
    std::string m_NameA;
    // Texts of their own only where an engine gives them.
    std::unique_ptr<std::string> m_pNameU;
    std::unique_ptr<CZelSharedPath> m_pPathU;
    uint64_t m_Size = 0;
};

template <class TBase>
class CZelFSDirectoryImpl : public CZelFSFileEntryImpl<TBase> {
public:
    CZelFSDirectoryImpl() : CZelFSFileEntryImpl<TBase>(ZelEntryDirectory) {}
    boost::shared_ptr<CZelEntityIterator> GetIterator() override { return boost::shared_ptr<CZelEntityIterator>(); }
};

// A found file of any engine: it restores through the engine that found it,
// handing back the record it was made from.
template <class TBase>
class CZelFSFileImpl : public CZelFSFileEntryImpl<TBase> {
public:
    CZelFSFileImpl(const CZelEngineRecord* record, boost::shared_ptr<CZelEngine> engine, uint64_t generation)
        : CZelFSFileEntryImpl<TBase>(ZelEntryFile), m_pRecord(record), m_pEngine(std::move(engine)),
          m_Generation(generation), m_Estimate(record != nullptr ? record->GetRecoveryEstimate() : -1)
    {
        if (record != nullptr && record->CarvedType() != nullptr)
            m_CarvedType = record->CarvedType();
        if (record != nullptr && record->StreamName() != nullptr)
            m_StreamName = record->StreamName();
    }
    ~CZelFSFileImpl() override
    {
        m_pRecord = nullptr;
        m_pEngine.reset();
    }

    uint64_t GetSize() override { return this->m_Size; }

    ZELRESULT Restore(const wchar_t* destination, CZelProgressCallbackPtr progress) override
    {
        if (destination == nullptr)
            return ZEL_E_RESTOREREFUSED;
        std::string narrow = ZelWideToNarrow(destination);
        return RestoreA(narrow.c_str(), progress);
    }

    ZELRESULT RestoreA(const char* destination, CZelProgressCallbackPtr progress) override
    {
        CZelRestoreReport report;
        return RestoreEx(destination, progress, report);
    }

    ZELRESULT RestoreEx(const char* destination, CZelProgressCallbackPtr progress, CZelRestoreReport& report) override
    {
        if (destination == nullptr) {
            report = CZelRestoreReport();
            report.reason = L"no destination";
            return ZEL_E_RESTOREREFUSED;
        }
        CZelFileSink file(destination);
        return RestoreTo(file, progress, report);
    }

    ZELRESULT RestoreTo(CZelRestoreSink& sink, CZelProgressCallbackPtr progress, CZelRestoreReport& report) override
    {
        report = CZelRestoreReport();
        if (m_pRecord == nullptr || !m_pEngine) {
            report.reason = L"not a file a search found";
            return ZEL_E_RESTOREREFUSED;
        }
        // The record belongs to the found set of one scan; once the engine
        // has been closed, reopened or has scanned again it is gone, and the
        // engine refuses it without following the pointer.
        int32_t result = m_pEngine->RestoreCurrentFile(m_Generation, sink, m_pRecord, progress, report);
        if (result == kZelStaleRecord)
            return ZEL_E_RESTOREREFUSED;
        if (result != 0)
            return ZEL_E_ENGINE;
        switch (report.verdict) {
        case ZelRestored:
            return ZEL_S_OK;
        case ZelRestoredPartly:
            return ZEL_S_PARTIAL;
        case ZelRestoreFailed:
            break;
        }
        return ZEL_E_ENGINE;
    }

    uint64_t GetDataOffset() override
    {
        return m_pRecord != nullptr && m_pEngine ? m_pEngine->DataOffset(m_Generation, m_pRecord) : UINT64_MAX;
    }
    void WillRestore(uint64_t dataOffset) override
    {
        // The first stretch only: what a large file needs after it the
        // system reads ahead on its own once its reads run in sequence, and
        // a file in pieces may have less than that in its first one.
        constexpr uint64_t kAhead = uint64_t(256) << 10;
        if (m_pEngine)
            m_pEngine->WillRestore(m_Generation, dataOffset, std::min<uint64_t>(this->m_Size, kAhead));
    }

    virtual void SetSize(uint64_t size) { this->m_Size = size; }
    std::string GetCarvedType() override { return m_CarvedType; }
    std::string GetStreamName() override { return m_StreamName; }
    int32_t GetRecoveryEstimate() override { return m_Estimate; }
    // Read when asked: the note is the record's, and most files have none.
    std::string GetRecoveryNote() override
    {
        return m_pRecord != nullptr && m_pEngine ? m_pEngine->RecordNote(m_Generation, m_pRecord) : std::string();
    }

private:
    std::string m_CarvedType;
    std::string m_StreamName;
    const CZelEngineRecord* m_pRecord;
    boost::shared_ptr<CZelEngine> m_pEngine;
    uint64_t m_Generation;
    int32_t m_Estimate;
};
