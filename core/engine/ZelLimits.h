// The bounds the engines keep to, named once: how deep a walk goes, how
// long a path grows, how many entries one folder may hold. A crafted volume
// can claim anything; these keep what a scan reads and holds in proportion.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zellimits {

// A folder deeper than this below the root is not read (FAT, exFAT).
constexpr uint32_t kMaxFolderDepth = 256;
// An NTFS path is followed up this many parent records at most.
constexpr int kMaxParentChain = 1024;
// The longest path shown, in bytes of UTF-8 (PATH_MAX). Folders that would
// take a path past it, less room for a name at its end (255 UTF-16 units
// take up to 765 bytes), are left out of the paths below them.
constexpr size_t kMaxPathBytes = 4096;
constexpr size_t kRoomForName = 768;
// Entries of one folder: FAT's own bound (65,536 entries of 32 bytes), and
// exFAT's (256 MiB of entries).
constexpr uint32_t kMaxFatFolderEntries = 65536;
constexpr uint64_t kMaxExfatFolderBytes = 256ull << 20;

} // namespace zellimits
