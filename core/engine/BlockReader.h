// The FAT and exFAT engines' reader of a volume: it asks its source for
// whole blocks at block-aligned offsets only, and tells how each read
// ended.
#pragma once

#include "jexplatform/VolumeSource.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CBlockReader : public CZelVolumeSource {
public:
    // Larger block sizes are read in blocks of this size.
    static constexpr int32_t kMaxBlockSize = 65536;

    // blockSize is the device's bytes per sector; below 2 every read goes
    // to the source as asked.
    explicit CBlockReader(int32_t blockSize);

    // Reads from source from now on.
    void Attach(std::unique_ptr<CZelVolumeSource> source);
    void close() { m_pSource.reset(); }
    bool isOpen() const { return m_pSource != nullptr; }
    int32_t blockSize() const { return m_BlockSize; }

    // Up to count bytes at offset; nothing open fails with EBADF.
    CZelRead ReadAt(uint64_t offset, void* destination, size_t count) override;
    void WillRead(uint64_t offset, uint64_t count) override
    {
        if (m_pSource)
            m_pSource->WillRead(offset, count);
    }
    uint64_t Size() const override { return m_pSource ? m_pSource->Size() : 0; }
    uint32_t SectorSize() const override { return m_pSource ? m_pSource->SectorSize() : 0; }
    const std::string& Path() const override;

private:
    std::unique_ptr<CZelVolumeSource> m_pSource;
    int32_t m_BlockSize;
    std::vector<uint8_t> m_Scratch;
};
