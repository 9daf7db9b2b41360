// A restored file as it is written: a new file without a name (or, where the
// file system has no such files, under a hidden temporary name) in the
// destination's folder, which takes the destination's name only once it is
// written whole and on the disk. An existing file is never replaced, and a
// copy that fails leaves nothing behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <sys/types.h>

class CZelOutputFile {
public:
    // unnamedFirst false: always a hidden temporary name, as on a file
    // system without unnamed files.
    explicit CZelOutputFile(bool unnamedFirst = true) : m_UnnamedFirst(unnamedFirst) {}
    // A file not committed is removed.
    ~CZelOutputFile();
    CZelOutputFile(const CZelOutputFile&) = delete;
    CZelOutputFile& operator=(const CZelOutputFile&) = delete;

    // Starts the file that is to be named destination, with mode (the umask
    // applies); false when destination exists already or its folder takes
    // no new file. nameChecked: the caller has just found the name free,
    // and it is not asked again (the name is still never replaced).
    bool Create(const std::string& destination, mode_t mode, bool nameChecked = false);
    // Appends data; false on a full disk, an I/O error or a quota.
    bool Write(const void* data, size_t length);
    // Moves on count bytes, leaving a gap that reads as zeros.
    bool Skip(uint64_t count);
    // The data change and access times the file gets when it is committed.
    void SetTimes(const timespec& modified);
    // Gives the file its length (where writing or skipping got to), puts it
    // on the disk and gives it its final name; false, with nothing under the
    // final name, when that fails (a write the disk refuses, the name taken
    // meanwhile, among others).
    bool Commit();
    // Commit in two steps, so that many files can be put on the disk at
    // once: Finish gives the file its length and times; Publish puts it on
    // the disk and gives it its name. Between them the file is whole but
    // neither lasting nor named, and its descriptor stays open.
    bool Finish();
    // otherName, where given, names the file when its name was taken
    // meanwhile: attempt 1, 2, ... (at most kOtherNames); Destination()
    // then tells the name it got.
    bool Publish(const std::function<std::string(unsigned attempt)>& otherName = nullptr);
    static constexpr unsigned kOtherNames = 1000;
    const std::string& Destination() const { return m_Destination; }
    // Asks the file system that holds the file to write out all it holds:
    // one journal commit for the files finished so far, whose Publish then
    // finds their data on the disk. Errors are told by each Publish.
    void FlushFileSystem() const;
    // For tests: every flush that follows fails with error (0: flushes are
    // real again).
    static void FailFlushesForTests(int error);
    // Removes what was written.
    void Discard();

    bool IsOpen() const { return m_Fd >= 0; }
    // Why the last step failed: the path and the system's reason.
    const std::string& Error() const { return m_Error; }

private:
    bool Fail(const std::string& path, int error);

    bool m_UnnamedFirst;
    int m_Fd = -1;
    // Where the next byte goes, and the end of what was written.
    uint64_t m_Position = 0;
    uint64_t m_Written = 0;
    bool m_HasTimes = false;
    timespec m_Times[2] = {};
    std::string m_Destination;
    std::string m_Temporary;
    std::string m_Error;
};
