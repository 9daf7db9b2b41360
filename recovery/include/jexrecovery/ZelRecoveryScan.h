// A search for deleted files on one volume, through the core's exports: the
// file-system object for the volume, the scan, and the list of what it
// found. Every failure comes back to the caller with its reason; nothing
// goes through the core's process-wide message hook.
#pragma once

#include "jexfscore/ZelCreator.h"

#include <boost/shared_ptr.hpp>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// One found directory or file, with the texts it shows.
struct CZelFoundEntry {
    // The number a user names a file by: the files found are counted from 1
    // in the scan's order. Folders have none (0).
    uint64_t index = 0;
    uint64_t size = 0;
    // The recovery estimate of a file, 0 to 100; -1 when the engine gives
    // none (and for directories).
    int32_t estimate = -1;
    // The type of a file found by its signature; empty otherwise.
    std::string carvedType;
    // The name of a named data stream listed as a file of its own; empty
    // otherwise. Its file, found in the same search (null when not found):
    // the filters choose a stream with its file.
    std::string stream;
    const CZelFoundEntry* streamOf = nullptr;
    bool directory = false;
    bool deleted = false;
    std::string name;
    boost::shared_ptr<CZelFSFileEntry> entry;

    // The path shown, "volume/folders/name" in UTF-8. Made when asked for
    // from the entry, whose folder part is shared with the other entries of
    // its folder: a scan of a large volume lists hundreds of thousands of
    // entries, and paths of deep trees are thousands of bytes long.
    std::string Path() const { return entry ? entry->GetPathUtf8() : std::string(); }
};

class CZelRecoveryScan {
public:
    explicit CZelRecoveryScan(CZelFileSystemCreator& creator) : m_Creator(creator) {}
    CZelRecoveryScan(const CZelRecoveryScan&) = delete;
    CZelRecoveryScan& operator=(const CZelRecoveryScan&) = delete;

    // Finds the file-system object for the volume; false with the reason
    // when the volume cannot be read or holds no file system that is
    // searched.
    bool Prepare(const std::string& volume, std::string& error);
    // A deep search also searches the free space: the folders and files of
    // formatted volumes and deleted trees whose links are gone. It reads the
    // whole volume and takes longer, and takes a volume whose file system
    // is gone (its layout is looked for in its data). Chosen before
    // Prepare.
    void SetDeep(bool deep) { m_Deep = deep; }
    bool Deep() const { return m_Deep; }
    // The search also lists named data streams (NTFS) as files of their
    // own.
    void SetStreams(bool streams) { m_Streams = streams; }
    // Scans the prepared volume and lists what was found; false with the
    // reason when it cannot be scanned. It blocks; Progress and Stop may be
    // called from another thread meanwhile.
    bool Search(const boost::shared_ptr<CZelCheckFile>& filter, std::string& error);
    // Ends the running search as soon as it can; what it found so far is
    // listed and can be restored. A search not yet begun finds nothing.
    void Stop();
    // The last search was stopped before it ended.
    bool Stopped() const { return m_Stopped; }
    // Bytes the last search read from the volume.
    uint64_t BytesRead() const { return m_BytesRead; }
    // How the last search read the volume where that needs saying (a
    // layout rebuilt because the volume's own was gone); empty otherwise.
    const std::string& Notice() const { return m_Notice; }
    // Search on a thread of its own, calling report with the progress about
    // every tenth of a second on the calling thread until it ends.
    bool SearchShowingProgress(const boost::shared_ptr<CZelCheckFile>& filter, std::string& error,
                               const std::function<void(double)>& report);

    // The scan's progress, a fraction from 0 to 1.
    double Progress() const;
    // Stretches of the volume the last search could not read and passed
    // over.
    uint64_t UnreadableStretches() const { return m_Unreadable; }
    // The bytes of those stretches.
    uint64_t UnreadableBytes() const { return m_UnreadableBytes; }
    const std::string& Volume() const { return m_Volume; }
    const boost::shared_ptr<CZelFileSystem>& FileSystem() const { return m_pFileSystem; }
    // Directories and files in the scan's order.
    const std::vector<CZelFoundEntry>& Found() const { return m_Found; }

private:
    CZelFileSystemCreator& m_Creator;
    std::string m_Volume;
    boost::shared_ptr<CZelFileSystem> m_pFileSystem;
    std::vector<CZelFoundEntry> m_Found;
    uint64_t m_Unreadable = 0;
    uint64_t m_UnreadableBytes = 0;
    uint64_t m_BytesRead = 0;
    std::string m_Notice;
    bool m_Deep = false;
    bool m_Streams = false;
    bool m_Stopped = false;
    std::atomic<bool> m_StopAsked{false};
    // Guards the file-system object against Stop while Prepare replaces it.
    mutable std::mutex m_Lock;
};
