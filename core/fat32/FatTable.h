// The allocation table's entries, 12, 16 or 32 bits wide, and a reader of
// single entries that keeps a window of the table.
#pragma once

#include "fat32/FatBootSector.h"
#include "jexplatform/VolumeSource.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_set>
#include <vector>

// Byte offset of cluster's entry from the table's start: FAT12 packs two
// entries in three bytes.
uint64_t ZelFatEntryOffset(int bits, uint32_t cluster);
// Bytes read to decode one entry.
size_t ZelFatEntryBytes(int bits);
// The entries tableBytes hold whole.
uint64_t ZelFatEntriesIn(int bits, uint64_t tableBytes);
// The value of cluster's entry from the bytes at its offset (the top four
// bits of a FAT32 entry are reserved and dropped). A value from 2 up to
// the volume's last cluster chains on; 0 is free; the rest end a chain or
// mark a bad cluster.
uint32_t ZelDecodeFatEntry(const uint8_t* at, int bits, uint32_t cluster);
// A multiple of 12 bytes: pieces of the table this long never cut an entry
// of any width, when they start at a multiple of it.
constexpr uint64_t kFatTableAlign = 12;

class CFatTableReader {
public:
    enum class Lookup { Value, Beyond, Unreadable };
    // Told when the device went away while the table was read.
    typedef std::function<void(const CZelRead& read, uint64_t offset, size_t count)> Vanished;

    CFatTableReader(CZelVolumeSource& source, const CFatBootSector& boot, Vanished vanished);
    // The entry of cluster, from the first table or where that cannot be
    // read the second: Beyond when the table or the device ends before it,
    // Unreadable when neither copy can be read there or the device is gone.
    Lookup Read(uint32_t cluster, uint32_t& value);
    // The cluster that follows cluster in its chain; false at the chain's
    // end, a free entry, or an entry that cannot be read.
    bool Next(uint32_t cluster, uint32_t& next);

private:
    static constexpr uint64_t kWindow = 4092; // a multiple of kFatTableAlign

    CZelVolumeSource& m_Source;
    const CFatBootSector& m_Boot;
    Vanished m_Vanished;
    bool m_Gone = false;
    std::vector<uint8_t> m_Window;
    uint64_t m_WindowStart = 0;
    // Windows neither copy of the table gives.
    std::unordered_set<uint64_t> m_Unreadable;
};
