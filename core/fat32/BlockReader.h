// A read-only, sector-buffered reader over a volume. Small reads (such as
// 32-byte directory entries) are served from a one-block buffer, so the
// device is only ever asked for whole blocks at block-aligned offsets; large
// aligned reads go straight to the device.
#pragma once

#include "jexplatform/DeviceFile.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CBlockReader {
public:
    // Seek origins.
    enum { kFromStart = 0, kFromCurrent = 1, kFromEnd = 2 };
    static constexpr uint64_t kInvalidPosition = UINT64_MAX;
    // Larger block sizes are read in blocks of this size.
    static constexpr int32_t kMaxBlockSize = 65536;

    // blockSize is the device's bytes per sector; below 2 every read goes
    // to the device as asked.
    explicit CBlockReader(int32_t blockSize);

    // Opens path read-only, closing what was open: 0, or -1 with the reason.
    int32_t open(const std::string& path, std::string& error);
    // Delivers up to count bytes from the current position and advances
    // past them; fewer at the end of the volume or after a failed device
    // read. -1 when nothing is open.
    int64_t read(size_t count, void* destination);
    // kFromStart moves to offset; kFromCurrent with offset 0 tells the
    // position. Reading from the end is not supported (answers 0). Returns
    // kInvalidPosition when nothing is open.
    uint64_t seek(int64_t offset, int origin);
    void close();

    bool isOpen() const { return m_Device.IsOpen(); }
    // The size of the open volume in bytes, 0 when unknown.
    uint64_t volumeSize() const { return m_Device.Size(); }
    int32_t blockSize() const { return m_BlockSize; }

private:
    // Loads the block that holds position; false when nothing could be read.
    bool Load(uint64_t position);

    CZelDeviceFile m_Device;
    std::vector<uint8_t> m_Buffer;
    int32_t m_BlockSize;
    uint64_t m_Position = 0;
    uint64_t m_BufferStart = 0;
    size_t m_BufferValid = 0; // 0: the buffer holds nothing
};
