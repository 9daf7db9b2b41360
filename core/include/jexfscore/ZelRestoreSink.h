// Where a restore puts a found file's bytes: a new file in a folder (the
// core's own file sink behind RestoreEx), or whatever a caller makes of them,
// such as a preview held in memory. The engine opens the sink once it has
// something to write, writes the bytes in order (Skip for stretches that read
// as zeros), gives it the file's time and commits it; a sink that refuses a
// step ends the restore as failed with the sink's Error as its reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

class CZelRestoreSink {
public:
    virtual ~CZelRestoreSink() = default;
    // Starts the file; mode is its permission bits where the sink is a file
    // (the umask applies). False when the sink takes no file.
    virtual bool Open(uint32_t mode) = 0;
    virtual bool IsOpen() const = 0;
    // Appends length bytes.
    virtual bool Write(const void* data, size_t length) = 0;
    // Appends count bytes that read as zeros.
    virtual bool Skip(uint64_t count) = 0;
    // The file's last data change.
    virtual void SetTimes(const timespec& modified) = 0;
    // The file is whole: it is made lasting (a file gets its name).
    virtual bool Commit() = 0;
    // Drops what was written.
    virtual void Discard() = 0;
    // Why the last step failed.
    virtual const std::string& Error() const = 0;
    // How many more bytes it takes; an engine reads no more than that
    // (give or take a sector) before writing them.
    virtual uint64_t Room() const { return UINT64_MAX; }
};
