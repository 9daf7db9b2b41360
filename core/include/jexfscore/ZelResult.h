// Result codes and shared small types of the recovery core's interfaces.
#pragma once

#include <cstdint>
#include <string>

// Results are 32-bit signed values in the manner of COM result codes.
typedef int32_t ZELRESULT;

// Success.
constexpr ZELRESULT ZEL_S_OK = 0;
// The file-system object has no engine object, or the engine reported a
// failure (scan or restore).
constexpr ZELRESULT ZEL_E_ENGINE = static_cast<ZELRESULT>(0x80040300u);
// A restore was refused: no destination path, the entry carries no engine
// record, or the engine object is gone or no longer holds that record.
constexpr ZELRESULT ZEL_E_RESTOREREFUSED = static_cast<ZELRESULT>(0x80040308u);

// A restore wrote the whole file but could not read all of it: the
// stretches it could not read are zeros in the file.
constexpr ZELRESULT ZEL_S_PARTIAL = static_cast<ZELRESULT>(0x00040301u);

// What became of a restore.
enum ZelRestoreVerdict : int32_t {
    // Every byte came from where the volume says it belongs.
    ZelRestored = 0,
    // The file was written whole, but some of it could not be read.
    ZelRestoredPartly = 1,
    // No file was written.
    ZelRestoreFailed = 2,
};

struct CZelRestoreReport {
    ZelRestoreVerdict verdict = ZelRestoreFailed;
    // Bytes of the file that could not be read: zeros in the file where a
    // read failed, or left out at its end where the volume ends first.
    uint64_t unreadableBytes = 0;
    // Why the file is partial or was not written.
    std::wstring reason;
};

struct CZelScanReport {
    // Why the volume could not be scanned; empty when it was.
    std::wstring reason;
    // Stretches of the volume (directory clusters, records) that could not
    // be read and were passed over.
    uint64_t unreadableStretches = 0;
    // The bytes of those stretches.
    uint64_t unreadableBytes = 0;
    // Bytes the search read from the volume (opening it included).
    uint64_t bytesRead = 0;
    // The search was stopped before it ended; what it had found is listed.
    bool stopped = false;
    // How the volume was read where that needs saying: a layout rebuilt
    // because the volume's own was gone. Empty otherwise.
    std::wstring notice;
};

// Kind of a found entry.
enum CZelFSFileEntryType : int32_t {
    ZelEntryDirectory = 1,
    ZelEntryFile = 2,
};
