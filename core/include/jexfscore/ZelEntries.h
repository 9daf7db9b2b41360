// Found entries of a scan and the iterator over them.
#pragma once

#include "jexfscore/ZelCallback.h"
#include "jexfscore/ZelResult.h"
#include "jexfscore/ZelRestoreSink.h"

#include <boost/shared_ptr.hpp>

#include <cstdint>
#include <string>

class CZelFSFileEntry;

// Forward iterator over found entries.
class CZelEntityIterator {
public:
    virtual void First() = 0;
    virtual void Next() = 0;
    virtual bool IsDone() = 0;
    // A fresh entry object for the current position; empty once done.
    virtual boost::shared_ptr<CZelFSFileEntry> CurrentItem() = 0;
    virtual ~CZelEntityIterator() = default;
};

// One found directory or file.
class CZelFSFileEntry {
public:
    virtual uint32_t GetAttributes() = 0;
    virtual bool IsDeleted() = 0;
    virtual CZelFSFileEntryType GetType() = 0;
    // Full path inside the volume, starting with the volume's root name and
    // ending with the entry's own name, joined with "/". Made when asked
    // for: entries of one folder share the folder's part.
    virtual std::string GetPathA() = 0;
    virtual std::wstring GetPath() = 0;
    // GetPath in UTF-8: the path as it is shown.
    virtual std::string GetPathUtf8() = 0;
    virtual const std::string& GetNameA() = 0;
    virtual std::wstring GetName() = 0;
};

class CZelFSDirectory : public CZelFSFileEntry {
public:
    // Always empty: the result is a flat list reached through the file
    // system's iterator.
    virtual boost::shared_ptr<CZelEntityIterator> GetIterator() = 0;
    virtual ~CZelFSDirectory() = default;
};

class CZelFSFile : public CZelFSFileEntry {
public:
    virtual uint64_t GetSize() = 0;
    // Writes the found file's data to a new file at the destination path.
    virtual ZELRESULT Restore(const wchar_t* destination, CZelProgressCallbackPtr progress) = 0;
    // The same with a narrow (UTF-8) destination path. ZEL_S_PARTIAL when
    // the file was written but some of it could not be read.
    virtual ZELRESULT RestoreA(const char* destination, CZelProgressCallbackPtr progress) = 0;
    virtual ~CZelFSFile() = default;
    // RestoreA that also tells what became of the file: restored, partial
    // (with the bytes that could not be read) or failed, with the reason.
    // No file is left under the destination's name unless it was written
    // whole.
    virtual ZELRESULT RestoreEx(const char* destination, CZelProgressCallbackPtr progress,
                                CZelRestoreReport& report) = 0;
    // The recovery estimate, 0 to 100: the share of the clusters a restore
    // reads that are free and claimed by no other found file. A file below
    // 100 is restored as partial. -1 when the engine does not judge it.
    virtual int32_t GetRecoveryEstimate() = 0;
    // Why the estimate is below 100 (clusters another file holds now, a
    // chain that had to be guessed, ...); empty when it is not, or the
    // engine does not say.
    virtual std::string GetRecoveryNote() = 0;
    // RestoreEx into a sink of the caller's instead of a new file: the same
    // bytes, verdict and accounting of what could not be read. RestoreEx is
    // this with a sink that writes a new file.
    virtual ZELRESULT RestoreTo(CZelRestoreSink& sink, CZelProgressCallbackPtr progress,
                                CZelRestoreReport& report) = 0;
    // For a file a deep search found by its signature, with no name, its
    // type ("jpg", "docx"); empty for a file found through the file system.
    virtual std::string GetCarvedType() { return std::string(); }
    // For a named data stream listed as an entry of its own ("name:stream",
    // NTFS), the stream's name; empty for a file.
    virtual std::string GetStreamName() { return std::string(); }
    // Where on the volume the file's data starts, in bytes; UINT64_MAX when
    // not known (data kept in the file system's own record). Restoring many
    // files in this order reads the volume front to back.
    virtual uint64_t GetDataOffset() { return UINT64_MAX; }
    // Advice that the file is restored next: the volume may start reading
    // its first bytes (at dataOffset, as GetDataOffset gave it) while the
    // caller finishes with another.
    virtual void WillRestore(uint64_t /*dataOffset*/) {}
};
