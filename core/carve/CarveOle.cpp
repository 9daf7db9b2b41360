// OLE2 compound files (DOC, XLS, PPT, MSG): the header names the sectors
// of the allocation table (directly, and through DIFAT sectors for more
// than 109); the file ends after the highest sector the table holds in use.
// The first directory sector tells which program wrote it.
#include "carve/CarveFormats.h"

#include "jexcommon/ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <utility>

namespace {

const uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr uint32_t kFree = 0xFFFFFFFF, kEndOfChain = 0xFFFFFFFE, kFatSector = 0xFFFFFFFD, kDifatSector = 0xFFFFFFFC;
constexpr uint32_t kMaxSpecial = 0xFFFFFFFA;
// Table sectors followed in one file: 4 GiB of 512-byte sectors.
constexpr size_t kMaxTableSectors = 65536;

class COleStream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override { return Need(512); }

    Ask OnBytes(const uint8_t* bytes, size_t size) override
    {
        if (m_SectorSize == 0)
            return Header(bytes, size);
        // A stretch passed over: the next sector wanted lies here, or the
        // file ends here.
        if (bytes == nullptr)
            return Next();
        // The sector at the front of the wanted ones.
        const auto first = m_Wanted.begin();
        const Role role = first->second.first;
        const uint64_t index = first->second.second;
        m_Wanted.erase(first);
        const size_t entries = m_SectorSize / 4;
        if (role == Role::Table) {
            for (size_t i = 0; i < entries; ++i) {
                const uint32_t value = ZelLE32(bytes + 4 * i);
                if (value != kFree)
                    m_Highest = std::max<uint64_t>(m_Highest, index * entries + i);
                if (value > kMaxSpecial && value != kFree && value != kEndOfChain && value != kFatSector &&
                    value != kDifatSector)
                    m_Sound = false;
            }
            ++m_TablesRead;
        } else if (role == Role::Difat) {
            for (size_t i = 0; i + 1 < entries && m_TableSectors < m_TableCount; ++i)
                if (!Want(ZelLE32(bytes + 4 * i), Role::Table, m_TableSectors))
                    return Fail("its table sectors are out of bounds");
            const uint32_t next = ZelLE32(bytes + 4 * (entries - 1));
            if (next != kEndOfChain && next != kFree && !Want(next, Role::Difat))
                return Fail("its DIFAT chain is out of bounds");
        } else {
            Directory(bytes);
        }
        return Next();
    }

private:
    enum class Role { Table, Difat, Directory };

    Ask Header(const uint8_t* bytes, size_t size)
    {
        if (size != 512 || std::memcmp(bytes, kSignature, 8) != 0 || ZelLE16(bytes + 28) != 0xFFFE)
            return Fail("no compound file header");
        const uint32_t shift = ZelLE16(bytes + 30);
        if (shift != 9 && shift != 12)
            return Fail("sectors of 2^" + std::to_string(shift) + " bytes");
        m_SectorSize = uint32_t(1) << shift;
        m_TableCount = ZelLE32(bytes + 44);
        if (m_TableCount == 0 || m_TableCount > kMaxTableSectors)
            return Fail("a table of " + std::to_string(m_TableCount) + " sectors");
        for (size_t i = 0; i < 109 && m_TableSectors < m_TableCount; ++i)
            if (!Want(ZelLE32(bytes + 76 + 4 * i), Role::Table, m_TableSectors))
                return Fail("its table sectors are out of bounds");
        const uint32_t difat = ZelLE32(bytes + 68);
        if (m_TableSectors < m_TableCount && !Want(difat, Role::Difat))
            return Fail("its DIFAT is out of bounds");
        Want(ZelLE32(bytes + 48), Role::Directory);
        // A header of 4096-byte sectors fills its sector.
        return m_SectorSize > 512 ? Skip(m_SectorSize - 512) : Next();
    }

    // index: the place of a table sector in the table.
    bool Want(uint32_t sector, Role role, uint64_t index = 0)
    {
        if (sector > kMaxSpecial || m_Wanted.size() > kMaxTableSectors)
            return false;
        const uint64_t offset = (static_cast<uint64_t>(sector) + 1) * m_SectorSize;
        // The table is read in order of its sectors' places on the volume,
        // which its order need not follow; a sector named twice is one.
        if (m_Wanted.emplace(offset, std::make_pair(role, index)).second && role == Role::Table)
            ++m_TableSectors;
        return true;
    }

    Ask Next()
    {
        if (m_Wanted.empty()) {
            if (m_TablesRead < m_TableCount)
                return Fail("its table sectors were not all found");
            const uint64_t end = (m_Highest + 2) * m_SectorSize;
            if (end < Position())
                return Fail("it ends before its own table");
            return end == Position() ? Done(m_Sound) : Skip(end - Position());
        }
        const uint64_t offset = m_Wanted.begin()->first;
        if (offset < Position())
            return Fail("a table sector lies before one read already");
        return offset == Position() ? Need(m_SectorSize) : Skip(offset - Position());
    }

    void Directory(const uint8_t* bytes)
    {
        for (size_t at = 0; at + 128 <= m_SectorSize; at += 128) {
            std::string name;
            const size_t length = std::min<size_t>(ZelLE16(bytes + at + 64), 64);
            for (size_t i = 0; i + 1 < length; i += 2)
                name += static_cast<char>(bytes[at + i]);
            if (name == "WordDocument")
                SetExtension("doc");
            else if (name == "Workbook" || name == "Book")
                SetExtension("xls");
            else if (name == "PowerPoint Document")
                SetExtension("ppt");
            else if (name.compare(0, 12, "__substg1.0_") == 0 && Extension().empty())
                SetExtension("msg");
        }
    }

    uint32_t m_SectorSize = 0;
    uint32_t m_TableCount = 0;
    uint32_t m_TableSectors = 0;
    uint64_t m_TablesRead = 0;
    uint64_t m_Highest = 0;
    bool m_Sound = true;
    // Sectors still to be read, by their offset in the file.
    std::map<uint64_t, std::pair<Role, uint64_t>> m_Wanted;
};

} // namespace

bool ZelMatchesOle(const uint8_t* bytes, size_t size)
{
    return size >= 512 && std::memcmp(bytes, kSignature, 8) == 0 && ZelLE16(bytes + 28) == 0xFFFE;
}

std::unique_ptr<CZelCarveStream> ZelMakeOleStream(uint64_t bound)
{
    return std::make_unique<COleStream>(bound);
}
