// TIFF and the camera raw formats built on it (CR2, NEF, ARW, DNG, ORF,
// RW2): the file's start is kept (its directories lie there) and every
// image file directory reachable from the header is walked, with the
// sub-directories, EXIF and GPS directories they name; the file ends at the
// highest byte any of them references (strips, tiles, thumbnails, values).
#include "carve/CarveFormats.h"

#include "jexcommon/ByteOrder.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

namespace {

// The start kept for its directories; a structure past it is refused.
constexpr size_t kHead = size_t(8) << 20;
constexpr size_t kMaxDirectories = 64;
constexpr uint32_t kMaxEntries = 4096;
constexpr uint64_t kMaxArray = 1 << 20;
// Array entries looked at in one walk of the directories, and walks of one
// file: a crafted file costs no more than these.
constexpr uint64_t kMaxEntriesWalked = 4 << 20;
constexpr uint32_t kMaxWalks = 256;

enum Tag : uint16_t {
    kStripOffsets = 273, kStripByteCounts = 279, kTileOffsets = 324, kTileByteCounts = 325, kSubIfds = 330,
    kJpegOffset = 513, kJpegLength = 514, kMake = 271, kExifIfd = 34665, kGpsIfd = 34853, kDngVersion = 50706,
};

uint32_t TypeSize(uint16_t type)
{
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: return 8;
    default: return 0;
    }
}

class CTiffStream : public CZelCarveStream {
public:
    using CZelCarveStream::CZelCarveStream;

protected:
    Ask Start() override { return Scan(); }

    Ask OnBytes(const uint8_t*, size_t) override { return Done(true); }

    Ask OnScan(const uint8_t* bytes, size_t size, size_t& used) override
    {
        const size_t room = std::min(size, kHead - m_Head.size());
        m_Head.insert(m_Head.end(), bytes, bytes + room);
        used = room;
        // The directories are walked again only once what they lacked is
        // there.
        if (m_Head.size() < m_Want && m_Head.size() < kHead)
            return Scan();
        if (++m_Walks > kMaxWalks)
            return Fail("its directories ask for more walks than any file needs");
        switch (Walk()) {
        case Walked::More:
            if (m_Head.size() >= kHead)
                return Fail("its directories reach past its first " + std::to_string(kHead) + " bytes");
            return Scan();
        case Walked::Broken:
            return Fail(m_Problem);
        case Walked::Whole:
            break;
        }
        // The end within the bytes kept.
        if (m_End <= Position() + used)
            return Done(true, Position() + used - m_End);
        return Skip(m_End - (Position() + used));
    }

    Ask OnEnd() override
    {
        if (Walk() == Walked::Whole && m_End <= m_Head.size())
            return Done(true, m_Head.size() - m_End);
        return Ask();
    }

private:
    enum class Walked { More, Broken, Whole };

    uint16_t U16(uint64_t at) const { return m_Little ? ZelLE16(&m_Head[at]) : ZelBE16(&m_Head[at]); }
    uint32_t U32(uint64_t at) const { return m_Little ? ZelLE32(&m_Head[at]) : ZelBE32(&m_Head[at]); }

    Walked More(uint64_t need)
    {
        m_Want = need;
        return Walked::More;
    }

    Walked Broken(const std::string& problem)
    {
        m_Problem = problem;
        return Walked::Broken;
    }

    // Walks every directory from the header again over the bytes kept so
    // far: More while something it needs lies beyond them.
    Walked Walk()
    {
        if (m_Head.size() < 8)
            return More(8);
        m_Little = m_Head[0] == 'I';
        m_End = 8;
        m_Walked = 0;
        std::vector<uint64_t> pending = {U32(4)};
        std::set<uint64_t> seen;
        if (m_Head[2] == 'R' || m_Head[2] == 'U')
            SetExtension(m_Head[2] == 'R' ? "orf" : "rw2");
        else if (m_Head.size() >= 10 && m_Head[8] == 'C' && m_Head[9] == 'R')
            SetExtension("cr2");
        while (!pending.empty()) {
            const uint64_t at = pending.back();
            pending.pop_back();
            if (at == 0)
                continue;
            if (at < 8 || at % 2 != 0)
                return Broken("a directory at byte " + std::to_string(at));
            if (!seen.insert(at).second)
                continue;
            if (seen.size() > kMaxDirectories)
                return Broken("more than " + std::to_string(kMaxDirectories) + " directories");
            if (at + 2 > m_Head.size())
                return More(at + 2);
            const uint32_t count = U16(at);
            const uint64_t end = at + 2 + 12 * static_cast<uint64_t>(count) + 4;
            if (count == 0 || count > kMaxEntries)
                return Broken("a directory of " + std::to_string(count) + " entries");
            if (end > m_Head.size())
                return More(end);
            m_End = std::max(m_End, end);
            Walked entries = Entries(at + 2, count, pending);
            if (entries != Walked::Whole)
                return entries;
            pending.push_back(U32(at + 2 + 12 * static_cast<uint64_t>(count)));
        }
        return Walked::Whole;
    }

    // The values an entry refers to: where they lie, and how many.
    struct Values {
        uint64_t at = 0;
        uint64_t count = 0;
        uint32_t size = 0;
    };

    Walked Entries(uint64_t first, uint32_t count, std::vector<uint64_t>& pending)
    {
        Values strips, stripCounts, tiles, tileCounts;
        uint64_t jpeg = 0, jpegLength = 0;
        for (uint32_t i = 0; i < count; ++i) {
            const uint64_t entry = first + 12 * static_cast<uint64_t>(i);
            const uint16_t tag = U16(entry), type = U16(entry + 2);
            const uint64_t n = U32(entry + 4);
            const uint32_t size = TypeSize(type);
            if (size == 0)
                continue;
            Values values;
            values.count = n;
            values.size = size;
            values.at = n * size <= 4 ? entry + 8 : U32(entry + 8);
            if (n * size > 4)
                m_End = std::max(m_End, values.at + n * size);
            if (tag == kMake && n * size > 4 && values.at + 5 <= m_Head.size()) {
                const char* make = reinterpret_cast<const char*>(&m_Head[values.at]);
                if (std::strncmp(make, "NIKON", 5) == 0)
                    SetExtension("nef");
                else if (std::strncmp(make, "SONY", 4) == 0)
                    SetExtension("arw");
            }
            if (tag == kDngVersion)
                SetExtension("dng");
            if (tag == kStripOffsets) strips = values;
            if (tag == kStripByteCounts) stripCounts = values;
            if (tag == kTileOffsets) tiles = values;
            if (tag == kTileByteCounts) tileCounts = values;
            if (tag == kJpegOffset) jpeg = U32(entry + 8);
            if (tag == kJpegLength) jpegLength = U32(entry + 8);
            if (tag == kSubIfds || tag == kExifIfd || tag == kGpsIfd) {
                if (n > kMaxDirectories || pending.size() + n > kMaxDirectories)
                    return Broken("too many sub-directories");
                if (values.at + n * size > m_Head.size())
                    return More(values.at + n * size);
                for (uint64_t k = 0; k < n; ++k)
                    pending.push_back(size == 4 ? U32(values.at + 4 * k) : 0);
            }
        }
        if (jpeg != 0)
            m_End = std::max(m_End, jpeg + jpegLength);
        Walked data = Data(strips, stripCounts);
        return data != Walked::Whole ? data : Data(tiles, tileCounts);
    }

    // The end of the last of the pieces offsets and counts name.
    Walked Data(const Values& offsets, const Values& counts)
    {
        if (offsets.count == 0)
            return Walked::Whole;
        if (offsets.count != counts.count || offsets.count > kMaxArray)
            return Broken("its strips or tiles do not agree with their counts");
        if ((offsets.size != 2 && offsets.size != 4) || (counts.size != 2 && counts.size != 4))
            return Broken("its strips or tiles are not numbers of 16 or 32 bits");
        m_Walked += offsets.count;
        if (m_Walked > kMaxEntriesWalked)
            return Broken("its strips and tiles are more than any file has");
        const uint64_t need = std::max(offsets.at + offsets.count * offsets.size, counts.at + counts.count * counts.size);
        if (need > m_Head.size())
            return More(need);
        for (uint64_t k = 0; k < offsets.count; ++k) {
            const uint64_t at = offsets.size == 2 ? U16(offsets.at + 2 * k) : U32(offsets.at + 4 * k);
            const uint64_t length = counts.size == 2 ? U16(counts.at + 2 * k) : U32(counts.at + 4 * k);
            m_End = std::max(m_End, at + length);
        }
        return Walked::Whole;
    }

    std::vector<uint8_t> m_Head;
    bool m_Little = true;
    uint64_t m_End = 0;
    uint64_t m_Want = 0;
    uint64_t m_Walked = 0;
    uint32_t m_Walks = 0;
    std::string m_Problem;
};

} // namespace

bool ZelMatchesTiff(const uint8_t* bytes, size_t size)
{
    if (size < 8)
        return false;
    const bool little = bytes[0] == 'I' && bytes[1] == 'I';
    const bool big = bytes[0] == 'M' && bytes[1] == 'M';
    if (!little && !big)
        return false;
    const uint16_t magic = little ? ZelLE16(bytes + 2) : ZelBE16(bytes + 2);
    const uint32_t first = little ? ZelLE32(bytes + 4) : ZelBE32(bytes + 4);
    // 42 for TIFF; Olympus and Panasonic raw files have their own.
    return (magic == 42 || (little && (magic == 0x4F52 || magic == 0x5352 || magic == 0x0055))) && first >= 8 &&
           first < kHead && first % 2 == 0;
}

std::unique_ptr<CZelCarveStream> ZelMakeTiffStream(uint64_t bound)
{
    return std::make_unique<CTiffStream>(bound);
}
