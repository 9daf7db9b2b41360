// A volume source that fails where a test says: reads that touch chosen
// stretches fail with an I/O error (for good, or a few times and then
// never again), and after a number of reads the device is gone. Everything
// else is read from the image below it.
#pragma once

#include "jexplatform/VolumeSource.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace jextest {

class FaultySource : public CZelVolumeSource {
public:
    explicit FaultySource(std::unique_ptr<CZelVolumeSource> inner) : m_pInner(std::move(inner)) {}

    // Reads that touch length bytes at offset fail; after times failures
    // they succeed (0: they always fail).
    void FailAt(uint64_t offset, uint64_t length, int times = 0);
    // Every read after the next reads ones finds the device gone.
    void VanishAfter(uint64_t reads);
    // The first read that touches offset calls action (a stop asked for
    // while the device reads, say).
    void WhenRead(uint64_t offset, std::function<void()> action);
    // Reads asked for so far, and those of them that asked for nothing.
    uint64_t Reads() const { return m_Reads; }
    uint64_t EmptyReads() const { return m_EmptyReads; }

    CZelRead ReadAt(uint64_t offset, void* destination, size_t count) override;
    uint64_t Size() const override { return m_pInner->Size(); }
    uint32_t SectorSize() const override { return m_pInner->SectorSize(); }
    const std::string& Path() const override { return m_pInner->Path(); }

private:
    struct Fault {
        uint64_t offset;
        uint64_t length;
        int left; // failures still to come; negative: always
    };

    std::unique_ptr<CZelVolumeSource> m_pInner;
    std::vector<Fault> m_Faults;
    uint64_t m_Reads = 0;
    uint64_t m_EmptyReads = 0;
    uint64_t m_VanishAt = UINT64_MAX;
    uint64_t m_ActionAt = 0;
    std::function<void()> m_Action;
};

// An opener for engines: every volume it opens comes wrapped in a
// FaultySource that prepare sets up; the latest one stays reachable.
class FaultyOpener {
public:
    explicit FaultyOpener(std::function<void(FaultySource&)> prepare = {}) : m_Prepare(std::move(prepare)) {}
    ZelVolumeOpener Opener();
    // The source opened last; it lives as long as the engine holds it.
    FaultySource* Last() const { return *m_pLast; }

private:
    std::function<void(FaultySource&)> m_Prepare;
    std::shared_ptr<FaultySource*> m_pLast = std::make_shared<FaultySource*>(nullptr);
};

} // namespace jextest
