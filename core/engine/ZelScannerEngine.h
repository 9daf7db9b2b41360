// The engines that walk the volume themselves (FAT and exFAT): a block
// reader and the scanner over it are made when the engine opens, and the
// volume is opened anew for every scan. Scanner is built from the reader
// and a CZelScanSink, is told the search's choice with Choose(deep, stop)
// and scans with Scan(volume, mode, filter, error); ClaimedRanges(ranges)
// gives the byte ranges its found files claim.
#pragma once

#include "engine/BlockReader.h"
#include "engine/ZelEngine.h"
#include "engine/ZelScanSink.h"

#include <memory>
#include <string>

template <typename Scanner>
class CZelScannerEngine : public CZelEngine {
protected:
    bool IsOpenLocked() const override { return m_pReader && m_pScanner; }

    // The device is opened by the scan.
    int32_t OpenLocked(const std::string& /*volumePath*/, int32_t blockSize, std::string& /*error*/) override
    {
        m_pReader = std::make_unique<CBlockReader>(blockSize);
        CZelScanSink sink;
        sink.fraction = [this](double done) { SetProgress(done); };
        sink.unreadable = [this](uint64_t bytes) { CountUnreadable(bytes); };
        sink.notice = [this](const std::string& text) { SetNotice(text); };
        sink.carver = [this] { return Carver(); };
        m_pScanner = std::make_unique<Scanner>(*m_pReader, std::move(sink));
        return 0;
    }

    void ReleaseLocked() override
    {
        m_pScanner.reset();
        m_pReader.reset();
    }

    int32_t ScanLocked(const std::string& volumePath, uint8_t mode, CZelEngineCheckFile* filter,
                       std::string& error) override
    {
        std::string reason;
        std::unique_ptr<CZelVolumeSource> source = OpenSource(volumePath, reason);
        if (!source) {
            m_pReader->close();
            error = volumePath + ": " + reason;
            return -1;
        }
        m_pReader->Attach(std::move(source));
        m_pScanner->Choose(DeepSearch(), &StopFlag());
        return m_pScanner->Scan(volumePath, mode, filter, error);
    }

    CZelVolumeSource* ScannedSource() override { return CanRead() ? m_pReader.get() : nullptr; }
    void ClaimedRanges(std::vector<std::pair<uint64_t, uint64_t>>& ranges) override
    {
        if (m_pScanner)
            m_pScanner->ClaimedRanges(ranges);
    }

    // True when a scan's volume is open to restore from.
    bool CanRead() const { return m_pScanner && m_pReader && m_pReader->isOpen(); }
    // The unit of a restore's salvaging reads: the device's sector.
    uint32_t RestoreBlock() const
    {
        return m_pReader && m_pReader->blockSize() >= 2 ? static_cast<uint32_t>(m_pReader->blockSize()) : 512;
    }

    std::unique_ptr<CBlockReader> m_pReader;
    std::unique_ptr<Scanner> m_pScanner;
};
