// A volume held in memory: what a fuzz target reads its input through, so
// that no image file is written for each input.
#pragma once

#include "jexplatform/VolumeSource.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace jexfuzz {

class MemorySource : public CZelVolumeSource {
public:
    MemorySource(const uint8_t* data, size_t size, std::string path) : m_Data(data), m_Size(size), m_Path(std::move(path))
    {
    }

    CZelRead ReadAt(uint64_t offset, void* destination, size_t count) override
    {
        CZelRead read;
        if (offset >= m_Size) {
            read.end = count == 0 ? ZelReadEnd::Complete : ZelReadEnd::VolumeEnd;
            return read;
        }
        read.bytes = static_cast<size_t>(std::min<uint64_t>(count, m_Size - offset));
        if (read.bytes != 0)
            std::memcpy(destination, m_Data + offset, read.bytes);
        read.end = read.bytes == count ? ZelReadEnd::Complete : ZelReadEnd::VolumeEnd;
        return read;
    }
    uint64_t Size() const override { return m_Size; }
    uint32_t SectorSize() const override { return 512; }
    const std::string& Path() const override { return m_Path; }

private:
    const uint8_t* m_Data;
    size_t m_Size;
    std::string m_Path;
};

// An opener that hands out the input, whatever path the engine asks for.
inline ZelVolumeOpener MemoryOpener(const uint8_t* data, size_t size)
{
    return [data, size](const std::string& path, std::string&) {
        return std::unique_ptr<CZelVolumeSource>(new MemorySource(data, size, path));
    };
}

} // namespace jexfuzz
