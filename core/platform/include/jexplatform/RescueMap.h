// The map file GNU ddrescue writes beside the copy it makes of a failing
// disk: which stretches of the copy were read, and which it could not read
// (or never tried) and left as zeros. Reads of the copy that touch such a
// stretch fail as reads of unreadable sectors do, so that nothing it did
// not read is ever taken for data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

// One block line: a stretch of the copy and its status character ('?'
// non-tried, '*' non-trimmed, '/' non-scraped, '-' bad sector, '+'
// finished).
struct CZelRescueBlock {
    uint64_t offset = 0;
    uint64_t size = 0;
    char status = '?';
    // Its line in the map, from 1.
    size_t line = 0;
};

class CZelRescueMap {
public:
    // Reads a map from its text. False, with the line named ("line 7:
    // ..."), for a malformed line, or blocks that overlap or are out of
    // order.
    static bool Parse(const char* text, size_t size, CZelRescueMap& map, std::string& error);
    // Reads the map file at path (at most 64 MiB of it).
    static bool Load(const std::string& path, CZelRescueMap& map, std::string& error);

    const std::vector<CZelRescueBlock>& Blocks() const { return m_Blocks; }
    // Where the last block ends: how much of the copy the map describes.
    uint64_t Described() const { return m_Blocks.empty() ? 0 : m_Blocks.back().offset + m_Blocks.back().size; }
    // Of count bytes at offset, how many from offset on lie in finished
    // stretches; what the map does not describe counts as never tried.
    uint64_t Readable(uint64_t offset, uint64_t count) const;
    // The bytes of a copy of size bytes that were not read.
    uint64_t UnreadBytes(uint64_t size) const;

private:
    std::vector<CZelRescueBlock> m_Blocks;
    // The finished stretches, neighbours joined: start and end.
    std::vector<std::pair<uint64_t, uint64_t>> m_Finished;
};

// The map files looked for beside an image: IMAGE.map, then IMAGE.mapfile;
// empty when there is neither.
std::string ZelRescueMapBeside(const std::string& image);

// Reads of the image file at image (and of partitions inside it) follow
// map from now on, in this process. False, with the reason, when the image
// cannot be looked at or a block the map calls finished lies past its end
// (GNU ddrescue leaves a copy short where it has read nothing yet, so a
// tail that was not read may lie past it; reading there fails).
bool ZelUseRescueMap(const std::string& image, std::shared_ptr<const CZelRescueMap> map, std::string& error);
// The map in use for the file of that identity; null when none.
std::shared_ptr<const CZelRescueMap> ZelRescueMapFor(dev_t device, ino_t inode);
// No image follows a map any more.
void ZelForgetRescueMaps();
