// The signature search: one more technique in the deep search's single
// pass. The pass hands over the bytes it reads of the free space, in volume
// order; at each cluster start (each sector start where the file system is
// unknown) the formats' signatures are checked, and a file that starts there
// is followed by its decoder through the bytes that come after it. Nothing
// is read for it that the pass does not read anyway.
//
// Metadata always wins: once the engine knows what its own records claim,
// Settle drops what starts inside a found file and cuts what runs into one.
#pragma once

#include "carve/CarveStream.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct CZelCarvedFile {
    uint64_t offset = 0;
    uint64_t length = 0;
    // The folder under "$Carved", which is also its extension.
    std::string type;
    // Its structure was followed to the end and every check sum held.
    bool validated = false;
    // Why it is not: cut short, a CRC that does not agree, ...
    std::string problem;
};

class CZelCarver {
public:
    // unit: where signatures are looked for, from the volume's start (a
    // cluster's size with the heap's start as origin, or the sector size).
    CZelCarver(uint64_t unit, uint64_t origin);
    ~CZelCarver();
    CZelCarver(const CZelCarver&) = delete;
    CZelCarver& operator=(const CZelCarver&) = delete;

    // Where clusters start, once the engine knows; sectors until then.
    void SetGrid(uint64_t unit, uint64_t origin)
    {
        m_Unit = unit != 0 ? unit : 1;
        m_Origin = origin;
    }
    // The next bytes the pass read, at offset on the volume. Bytes that do
    // not follow the last ones end the files being followed there.
    void Feed(uint64_t offset, const uint8_t* bytes, size_t size);
    // The pass is over (or was stopped).
    void Finish();
    // ranges: [start, end) byte ranges of the volume the engine's found
    // files claim, in any order.
    void Settle(std::vector<std::pair<uint64_t, uint64_t>> ranges);

    const std::vector<CZelCarvedFile>& Files() const { return m_Files; }
    // More was found than is kept: the search kept the first ones.
    bool Full() const { return m_Full; }

private:
    struct Active {
        uint64_t offset;
        const char* type;
        std::unique_ptr<CZelCarveStream> stream;
    };
    void StartAt(uint64_t offset, const uint8_t* bytes, size_t size);
    // Hands the bytes to the files being followed from the from-th on;
    // true when one of them broke off.
    bool FeedActive(const uint8_t* bytes, size_t size, size_t from = 0);
    void EndAll();
    void Keep(const Active& active);

    uint64_t m_Unit;
    uint64_t m_Origin;
    uint64_t m_Next = UINT64_MAX;
    std::vector<Active> m_Active;
    std::vector<CZelCarvedFile> m_Files;
    bool m_Full = false;
};
