// A volume source that counts the bytes read through it: what a search
// costs a card reader, which page-cache timings hide.
#pragma once

#include "jexplatform/VolumeSource.h"

#include <atomic>
#include <memory>

class CZelCountingSource : public CZelVolumeSource {
public:
    CZelCountingSource(std::unique_ptr<CZelVolumeSource> source, std::atomic<uint64_t>& counter)
        : m_pSource(std::move(source)), m_Counter(counter)
    {
    }
    CZelRead ReadAt(uint64_t offset, void* destination, size_t count) override
    {
        CZelRead read = m_pSource->ReadAt(offset, destination, count);
        m_Counter += read.bytes;
        return read;
    }
    void WillRead(uint64_t offset, uint64_t count) override { m_pSource->WillRead(offset, count); }
    uint64_t Size() const override { return m_pSource->Size(); }
    uint32_t SectorSize() const override { return m_pSource->SectorSize(); }
    const std::string& Path() const override { return m_pSource->Path(); }

private:
    std::unique_ptr<CZelVolumeSource> m_pSource;
    std::atomic<uint64_t>& m_Counter;
};
