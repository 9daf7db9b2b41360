#include "carve/Carver.h"

#include "carve/CarveFormats.h"

#include <algorithm>

namespace {

// Files followed at once: a signature inside a file being followed (a
// picture stored in an archive) starts another, up to this many.
constexpr size_t kMaxActive = 8;
// Files kept; past this the search keeps no more (memory stays bounded
// whatever the volume holds).
constexpr size_t kMaxFiles = 1000000;
// A file whose structure broke off is kept, as partial, only when this
// much of it held together: less is most often a signature by chance.
constexpr uint64_t kMinBroken = 16384;

} // namespace

CZelCarver::CZelCarver(uint64_t unit, uint64_t origin) : m_Unit(std::max<uint64_t>(unit, 1)), m_Origin(origin) {}

CZelCarver::~CZelCarver() = default;

void CZelCarver::Feed(uint64_t offset, const uint8_t* bytes, size_t size)
{
    if (offset != m_Next)
        EndAll();
    m_Next = offset + size;
    size_t at = 0;
    while (at < size) {
        const uint64_t here = offset + at;
        // The next unit start at or after here.
        uint64_t boundary = here;
        if (here < m_Origin)
            boundary = m_Origin;
        else if ((here - m_Origin) % m_Unit != 0)
            boundary = here + (m_Unit - (here - m_Origin) % m_Unit);
        if (boundary > here) {
            const size_t piece = static_cast<size_t>(std::min<uint64_t>(boundary - here, size - at));
            FeedActive(bytes + at, piece);
            at += piece;
            continue;
        }
        StartAt(here, bytes + at, size - at);
        const size_t piece = static_cast<size_t>(std::min<uint64_t>(m_Unit, size - at));
        // A file that broke off in this unit may have broken off where
        // another of its kind begins, at the unit's start.
        if (FeedActive(bytes + at, piece)) {
            const size_t started = m_Active.size();
            StartAt(here, bytes + at, size - at);
            if (m_Active.size() > started)
                FeedActive(bytes + at, piece, started);
        }
        at += piece;
    }
}

void CZelCarver::StartAt(uint64_t offset, const uint8_t* bytes, size_t size)
{
    if (m_Full || m_Active.size() >= kMaxActive)
        return;
    for (const CZelCarveFormat& format : ZelCarveFormats()) {
        if (size < format.signatureBytes || (format.alone && !m_Active.empty()) || !format.matches(bytes, size))
            continue;
        // Inside a file of its own kind it is most often that file's own
        // structure (the packs of a video stream).
        if (std::any_of(m_Active.begin(), m_Active.end(), [&](const Active& a) { return a.type == format.type; }))
            return;
        m_Active.push_back(Active{offset, format.type, format.make(format.bound)});
        return;
    }
}

bool CZelCarver::FeedActive(const uint8_t* bytes, size_t size, size_t from)
{
    bool broke = false;
    for (size_t i = from; i < m_Active.size();) {
        size_t used = 0;
        const CarveState state = m_Active[i].stream->Take(bytes, size, used);
        if (state == CarveState::Going) {
            ++i;
            continue;
        }
        broke = broke || state == CarveState::Failed;
        Keep(m_Active[i]);
        m_Active.erase(m_Active.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return broke;
}

void CZelCarver::EndAll()
{
    for (Active& active : m_Active) {
        active.stream->End();
        Keep(active);
    }
    m_Active.clear();
}

void CZelCarver::Finish()
{
    EndAll();
    m_Next = UINT64_MAX;
}

void CZelCarver::Keep(const Active& active)
{
    const CZelCarveStream& stream = *active.stream;
    const bool done = stream.State() == CarveState::Done;
    if (stream.Taken() == 0 || (!done && stream.Taken() < kMinBroken))
        return;
    if (m_Files.size() >= kMaxFiles) {
        m_Full = true;
        return;
    }
    CZelCarvedFile file;
    file.offset = active.offset;
    file.length = stream.Taken();
    file.type = stream.Extension().empty() ? active.type : stream.Extension();
    file.validated = done && stream.Validated();
    file.problem = done ? (stream.Validated() ? std::string() : "its structure could not be checked to the end")
                        : stream.Problem();
    m_Files.push_back(std::move(file));
}

void CZelCarver::Settle(std::vector<std::pair<uint64_t, uint64_t>> ranges)
{
    std::sort(ranges.begin(), ranges.end());
    // Merged, so that one search finds the range a byte lies in.
    std::vector<std::pair<uint64_t, uint64_t>> merged;
    for (const auto& range : ranges) {
        if (range.second <= range.first)
            continue;
        if (!merged.empty() && range.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, range.second);
        else
            merged.push_back(range);
    }
    std::vector<CZelCarvedFile> kept;
    for (CZelCarvedFile& file : m_Files) {
        // The first claimed range that ends after the file's start.
        auto next = std::upper_bound(merged.begin(), merged.end(), file.offset,
                                     [](uint64_t at, const std::pair<uint64_t, uint64_t>& r) { return at < r.second; });
        if (next != merged.end() && next->first <= file.offset)
            continue; // a found file's own bytes
        if (next != merged.end() && next->first < file.offset + file.length) {
            file.length = next->first - file.offset;
            file.validated = false;
            file.problem = "it runs into clusters a file found by its record claims";
        }
        kept.push_back(std::move(file));
    }
    // Files inside a whole file are its parts (a picture in an archive, a
    // thumbnail), as are those of its own kind inside one that could not
    // be checked (the packs of a video stream); a broken file ends where
    // another one begins.
    std::sort(kept.begin(), kept.end(), [](const CZelCarvedFile& a, const CZelCarvedFile& b) { return a.offset < b.offset; });
    m_Files.clear();
    for (CZelCarvedFile& file : kept) {
        if (!m_Files.empty()) {
            CZelCarvedFile& last = m_Files.back();
            if (file.offset < last.offset + last.length) {
                if (last.validated || (!file.validated && file.type == last.type))
                    continue;
                last.length = file.offset - last.offset;
                last.problem += (last.problem.empty() ? "" : "; ") + std::string("another file begins inside it");
            }
        }
        m_Files.push_back(std::move(file));
    }
}
