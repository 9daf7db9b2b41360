// An exFAT layout found again when both boot regions are gone, from what
// the cluster heap still holds:
// - the root directory, by its entries for the allocation bitmap and the
//   up-case table, which name their first clusters and lengths;
// - the up-case table, by the checksum the root directory records for it;
// - the cluster size and the heap's start, the ones that put the up-case
//   table where it was found and the root directory on a cluster start,
//   checked against the bitmap (whose first bits mark those clusters in use)
//   and against the folders the root directory names;
// - the allocation table, by its first two entries.
// What is found is the boot sector's values, those that follow from it
// derived as the decoder derives them; the checks are those above, since a
// layout without a table would fail the decoder's. Nothing is written to the
// volume.
#pragma once

#include "exfat/ExfatBootRegion.h"
#include "jexplatform/VolumeSource.h"

#include <cstddef>
#include <cstdint>
#include <string>

struct CExfatRootClues {
    uint32_t bitmapCluster = 0;
    uint64_t bitmapLength = 0;
    uint32_t upcaseCluster = 0;
    uint64_t upcaseLength = 0;
    uint32_t upcaseChecksum = 0;
};

// Whether length bytes from a sector's start open an exFAT root directory:
// within its first entries, an allocation bitmap and an up-case table of
// lengths a volume can have, and nothing a root directory does not hold.
bool ZelDecodeExfatRootClues(const uint8_t* bytes, size_t length, CExfatRootClues& clues);

// How far from the volume's start a root directory is looked for: formatting
// tools put it within the first tens of MiB. At most a 32nd of the volume,
// so that looking costs a deep search little.
uint64_t ZelExfatRootSearchBound(uint64_t volumeSize);

// The byte offset of the first root directory within bound bytes of the
// volume, read sector by sector; false when there is none.
bool ZelFindExfatRoot(CZelVolumeSource& source, uint64_t bound, uint64_t& offset, CExfatRootClues& clues);

// The layout of an exFAT volume whose boot regions are gone. found says
// what was found, for the user; problem why nothing could be.
// hasTable is false when no allocation table was found: chains cannot be
// followed then.
bool ZelRebuildExfatLayout(CZelVolumeSource& source, CExfatBootSector& boot, bool& hasTable, std::string& found,
                           std::string& problem);
