// What the FAT32, NTFS and exFAT fuzz targets share: the input is scanned as a
// volume, every file found is restored into a fresh folder, and what must
// hold is checked, not only that nothing crashed.
#pragma once

#include "engine/ZelEngine.h"

#include <boost/shared_ptr.hpp>

#include <cstddef>
#include <cstdint>

namespace jexfuzz {

// Scans data as a volume with engine twice (the second scan must find the
// same), restores every file found below a temporary folder, and aborts
// when a restore wrote outside it or wrote more than the volume holds.
void ScanAndRestore(const boost::shared_ptr<CZelEngine>& engine, const uint8_t* data, size_t size);

} // namespace jexfuzz
