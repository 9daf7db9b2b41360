#include "support/FatImageBuilder.h"

#include "support/LittleEndian.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace jextest {

namespace {

constexpr uint16_t kReserved = 32;

} // namespace

FatImageBuilder::FatImageBuilder(uint32_t totalSectors, uint16_t bytesPerSector, uint8_t sectorsPerCluster)
    : m_BytesPerSector(bytesPerSector), m_SectorsPerCluster(sectorsPerCluster),
      m_FatSectors(std::max<uint32_t>(8, (totalSectors / sectorsPerCluster + 2) * 4 / bytesPerSector + 1)),
      m_Bytes(static_cast<size_t>(totalSectors) * bytesPerSector, 0)
{
    std::vector<uint8_t>& b = m_Bytes;
    b[0] = 0xEB;
    b[1] = 0x58;
    b[2] = 0x90;
    std::memcpy(&b[3], "MSWIN4.1", 8);
    Put16(b, 11, bytesPerSector);
    b[13] = sectorsPerCluster;
    Put16(b, 14, kReserved);
    b[16] = 2;
    b[21] = 0xF8;
    Put32(b, 32, totalSectors);
    Put32(b, 36, m_FatSectors);
    Put32(b, 44, 2);
    b[66] = 0x29;
    std::memcpy(&b[71], "CRAFTED    ", 11);
    std::memcpy(&b[82], "FAT32   ", 8);
    b[510] = 0x55;
    b[511] = 0xAA;
    // Allocation tables: the media entries. Every cluster is free, so
    // directories read on from cluster to cluster unless chained.
    SetFat(0, 0x0FFFFFF8);
    SetFat(1, 0x0FFFFFFF);
}

void FatImageBuilder::SetFat(uint32_t cluster, uint32_t value)
{
    for (uint32_t fat = 0; fat < 2; ++fat) {
        size_t at = static_cast<size_t>(FatOffset(fat) + 4ull * cluster);
        ASSERT_LE(at + 4, m_Bytes.size());
        Put32(m_Bytes, at, value);
    }
}

uint64_t FatImageBuilder::FatOffset(uint32_t copy) const
{
    return (kReserved + static_cast<uint64_t>(copy) * m_FatSectors) * m_BytesPerSector;
}

uint64_t FatImageBuilder::ClusterOffset(uint32_t cluster) const
{
    uint64_t firstData = kReserved + 2 * m_FatSectors;
    return firstData * m_BytesPerSector + (static_cast<uint64_t>(cluster) - 2) * ClusterSize();
}

void FatImageBuilder::PutEntry(uint32_t cluster, uint32_t index, const FatEntryBytes& entry)
{
    uint64_t at = ClusterOffset(cluster) + 32ull * index;
    ASSERT_LE(at + 32, m_Bytes.size());
    std::memcpy(&m_Bytes[at], entry.data(), 32);
}

uint32_t FatImageBuilder::PutNamed(uint32_t cluster, uint32_t index, const std::u16string& name,
                                   const FatEntryBytes& shortEntry, bool deleted)
{
    auto slices = LongNameSlices(name);
    for (size_t i = slices.size(); i-- > 0;) {
        uint8_t sequence = static_cast<uint8_t>(i + 1) | (i + 1 == slices.size() ? 0x40 : 0);
        auto entry = LongEntry(sequence, slices[i]);
        PutEntry(cluster, index++, deleted ? Deleted(entry) : entry);
    }
    PutEntry(cluster, index++, deleted ? Deleted(shortEntry) : shortEntry);
    return index;
}

void FatImageBuilder::PutData(uint32_t cluster, const std::vector<uint8_t>& data)
{
    uint64_t at = ClusterOffset(cluster);
    ASSERT_LE(at + data.size(), m_Bytes.size());
    std::memcpy(&m_Bytes[at], data.data(), data.size());
}

void FatImageBuilder::Save(const std::string& path, size_t length) const
{
    std::vector<uint8_t> out = m_Bytes;
    if (length != 0 && length < out.size())
        out.resize(length);
    WriteFile(path, out);
}

FatEntryBytes FatImageBuilder::ShortEntry(const std::string& name11, uint8_t attributes, uint32_t cluster,
                                          uint32_t size, uint8_t caseByte)
{
    FatEntryBytes e{};
    std::string padded = (name11 + "           ").substr(0, 11);
    std::memcpy(e.data(), padded.data(), 11);
    e[11] = attributes;
    e[12] = caseByte;
    e[20] = static_cast<uint8_t>(cluster >> 16);
    e[21] = static_cast<uint8_t>(cluster >> 24);
    e[26] = static_cast<uint8_t>(cluster);
    e[27] = static_cast<uint8_t>(cluster >> 8);
    for (int i = 0; i < 4; ++i)
        e[28 + i] = static_cast<uint8_t>(size >> (8 * i));
    return e;
}

FatEntryBytes FatImageBuilder::LongEntry(uint8_t sequence, const std::u16string& units)
{
    FatEntryBytes e{};
    e[0] = sequence;
    e[11] = 0x0F;
    const size_t places[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    for (size_t i = 0; i < 13; ++i) {
        char16_t u = i < units.size() ? units[i] : 0xFFFF;
        e[places[i]] = static_cast<uint8_t>(u);
        e[places[i] + 1] = static_cast<uint8_t>(u >> 8);
    }
    return e;
}

std::vector<std::u16string> FatImageBuilder::LongNameSlices(const std::u16string& name)
{
    std::u16string full = name;
    if (full.size() % 13 != 0)
        full.push_back(u'\0');
    while (full.size() % 13 != 0)
        full.push_back(static_cast<char16_t>(0xFFFF));
    std::vector<std::u16string> slices;
    for (size_t i = 0; i < full.size(); i += 13)
        slices.push_back(full.substr(i, 13));
    return slices;
}

FatEntryBytes FatImageBuilder::Deleted(FatEntryBytes entry)
{
    entry[0] = 0xE5;
    return entry;
}

} // namespace jextest
