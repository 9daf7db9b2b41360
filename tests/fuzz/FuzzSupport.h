// What the fuzz targets share: one temporary folder per fuzzer process,
// gone again when it ends, and how a target stops on what did not hold.
#pragma once

#include <string>

namespace jexfuzz {

// The folder, made on first use.
const std::string& TemporaryFolder();
// Prints what did not hold and stops the fuzzer, which keeps the input.
void Require(bool holds, const std::string& what);

} // namespace jexfuzz
