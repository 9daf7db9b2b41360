// Writes FAT32 images byte by byte, for the cases mkfs.fat and mtools cannot
// make: long names split a chosen way, filler units, odd cluster numbers,
// directories that point back at their ancestors, runs without an end
// marker, truncated images.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace jextest {

typedef std::array<uint8_t, 32> FatEntryBytes;

class FatImageBuilder {
public:
    // 32 reserved sectors, 2 allocation tables large enough for every
    // cluster, root directory at cluster 2.
    explicit FatImageBuilder(uint32_t totalSectors = 4096, uint16_t bytesPerSector = 512,
                             uint8_t sectorsPerCluster = 1);

    uint64_t ClusterOffset(uint32_t cluster) const;
    // Byte offset of allocation table copy (0 or 1).
    uint64_t FatOffset(uint32_t copy) const;
    uint64_t ClusterSize() const { return static_cast<uint64_t>(m_BytesPerSector) * m_SectorsPerCluster; }
    // Writes entry number index of the directory that starts at cluster.
    void PutEntry(uint32_t cluster, uint32_t index, const FatEntryBytes& entry);
    // Writes a long name's entries and its short entry from index on, as one
    // group (all marked deleted when deleted is set); the index after it.
    uint32_t PutNamed(uint32_t cluster, uint32_t index, const std::u16string& name, const FatEntryBytes& shortEntry,
                      bool deleted);
    void PutData(uint32_t cluster, const std::vector<uint8_t>& data);
    // Sets the allocation-table entry of cluster in both tables.
    void SetFat(uint32_t cluster, uint32_t value);
    std::vector<uint8_t>& Bytes() { return m_Bytes; }
    // Writes the image, cut to length bytes when length is not 0.
    void Save(const std::string& path, size_t length = 0) const;

    // An 8.3 entry; name11 is the space-padded base and extension.
    static FatEntryBytes ShortEntry(const std::string& name11, uint8_t attributes, uint32_t cluster, uint32_t size,
                                    uint8_t caseByte = 0);
    // A long-name entry holding 13 units (pad with 0x0000 and 0xFFFF as
    // needed).
    static FatEntryBytes LongEntry(uint8_t sequence, const std::u16string& units);
    // The 13-unit slices of a long name as Windows writes them: the name,
    // one 0x0000, then 0xFFFF filler.
    static std::vector<std::u16string> LongNameSlices(const std::u16string& name);
    static FatEntryBytes Deleted(FatEntryBytes entry);

private:
    uint16_t m_BytesPerSector;
    uint8_t m_SectorsPerCluster;
    uint32_t m_FatSectors;
    std::vector<uint8_t> m_Bytes;
};

} // namespace jextest
