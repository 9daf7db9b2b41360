// Result codes and shared small types of the recovery core's interfaces.
#pragma once

#include <cstdint>

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

// Kind of a found entry.
enum CZelFSFileEntryType : int32_t {
    ZelEntryDirectory = 1,
    ZelEntryFile = 2,
};
