// Where the engines read a volume from. A read tells the end of the volume
// apart from a read error and from a device that has gone, so that nothing
// unread is ever taken for data. Tests put their own source in the place of
// the device to make reads fail where they choose.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// How a read ended.
enum class ZelReadEnd {
    // Every byte asked for was read.
    Complete,
    // The volume ends before the bytes asked for do.
    VolumeEnd,
    // The device could not read at the offset reached (error holds errno).
    Failed,
    // The device is gone: nothing more can be read from it.
    Vanished,
};

struct CZelRead {
    // Bytes read from the offset on, before whatever ended the read.
    size_t bytes = 0;
    ZelReadEnd end = ZelReadEnd::Complete;
    int error = 0;

    bool Complete() const { return end == ZelReadEnd::Complete; }
};

class CZelVolumeSource {
public:
    virtual ~CZelVolumeSource() = default;
    // Reads up to count bytes at offset.
    virtual CZelRead ReadAt(uint64_t offset, void* destination, size_t count) = 0;
    // Size in bytes, 0 when unknown.
    virtual uint64_t Size() const = 0;
    // Logical sector size, 0 when unknown.
    virtual uint32_t SectorSize() const = 0;
    virtual const std::string& Path() const = 0;
    // Advice that count bytes at offset will be read soon: the device may
    // start on them while the caller does other work. Nothing is promised.
    virtual void WillRead(uint64_t /*offset*/, uint64_t /*count*/) {}
};

// Opens a volume; empty with the reason when it cannot be opened.
typedef std::function<std::unique_ptr<CZelVolumeSource>(const std::string& path, std::string& error)> ZelVolumeOpener;

// The device node or image file at path, opened read-only; empty with the
// system's reason when it cannot be opened.
std::unique_ptr<CZelVolumeSource> ZelOpenVolumeSource(const std::string& path, std::string& error);

// Reads count bytes at offset, once more where the first read fails: a read
// that failed once may well succeed again.
CZelRead ZelReadRetrying(CZelVolumeSource& source, uint64_t offset, void* destination, size_t count);

// What a read that does not give up brought.
struct CZelSalvagedRead {
    // Bytes delivered: read, or zeros where nothing could be read; fewer
    // than asked only at the end of the volume or when the device is gone.
    size_t bytes = 0;
    // Of those, the bytes that could not be read and are zeros.
    uint64_t unreadable = 0;
    bool vanished = false;
    // errno of the last failed read, 0 when none failed.
    int error = 0;
};

// Reads count bytes at offset; a read that fails is tried once more, then
// block by block (block bytes each, at least one), and what a block still
// cannot read, from the spot where its read fails, is delivered as zeros.
CZelSalvagedRead ZelReadSalvaging(CZelVolumeSource& source, uint64_t offset, void* destination, size_t count,
                                  uint32_t block);

// The system's text for errno value error ("Input/output error").
std::string ZelErrorText(int error);
