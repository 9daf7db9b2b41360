// NTFS keeps a copy of its boot sector in the volume's last sector. Where
// the first one is gone (a disk that "needs formatting"), the volume is
// read with the copy in its place: the library mounts it as it was, and
// nothing is ever written.
#pragma once

#include "jexplatform/VolumeSource.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// True when the 512 bytes are an NTFS boot sector (its name and the end
// mark).
bool ZelLooksLikeNtfsBoot(const uint8_t* bytes, size_t size);

// A source that reads a volume with its boot sector taken from the copy.
class CZelNtfsBackupBootSource : public CZelVolumeSource {
public:
    CZelNtfsBackupBootSource(std::unique_ptr<CZelVolumeSource> inner, std::vector<uint8_t> boot)
        : m_pInner(std::move(inner)), m_Boot(std::move(boot))
    {
    }
    CZelRead ReadAt(uint64_t offset, void* destination, size_t count) override;
    void WillRead(uint64_t offset, uint64_t count) override { m_pInner->WillRead(offset, count); }
    uint64_t Size() const override { return m_pInner->Size(); }
    uint32_t SectorSize() const override { return m_pInner->SectorSize(); }
    const std::string& Path() const override { return m_pInner->Path(); }

private:
    std::unique_ptr<CZelVolumeSource> m_pInner;
    std::vector<uint8_t> m_Boot;
};

// The copy of the boot sector at the end of the volume the source reads,
// when sector 0 holds none and the copy is one; empty otherwise.
std::vector<uint8_t> ZelNtfsBackupBoot(CZelVolumeSource& source);
