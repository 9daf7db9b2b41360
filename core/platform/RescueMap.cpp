#include "jexplatform/RescueMap.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <utility>

namespace {

// A map larger than this is no map GNU ddrescue writes for any disk.
constexpr uint64_t kMaxMapBytes = uint64_t(64) << 20;

// The status characters of a block line, and those the current-position
// line may also hold (filling, generating).
constexpr const char* kBlockStatus = "?*/-+";
constexpr const char* kPositionStatus = "?*/-FG+";

// The words of one line, split at blanks.
std::vector<std::string> Words(const std::string& line)
{
    std::vector<std::string> words;
    size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r'))
            ++at;
        size_t end = at;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r')
            ++end;
        if (end > at)
            words.push_back(line.substr(at, end - at));
        at = end;
    }
    return words;
}

// A number as GNU ddrescue writes and reads it: hexadecimal after "0x",
// octal after a leading 0, else decimal; never above INT64_MAX.
bool Number(const std::string& word, uint64_t& value)
{
    unsigned base = 10;
    size_t at = 0;
    if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
        base = 16;
        at = 2;
    } else if (word.size() > 1 && word[0] == '0') {
        base = 8;
        at = 1;
    }
    if (at >= word.size())
        return false;
    value = 0;
    for (; at < word.size(); ++at) {
        const char c = word[at];
        unsigned digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false;
        if (digit >= base || value > (static_cast<uint64_t>(INT64_MAX) - digit) / base)
            return false;
        value = value * base + digit;
    }
    return true;
}

bool Status(const std::string& word, const char* allowed, char& status)
{
    if (word.size() != 1 || std::strchr(allowed, word[0]) == nullptr)
        return false;
    status = word[0];
    return true;
}

struct CMapKey {
    dev_t device;
    ino_t inode;
    bool operator<(const CMapKey& other) const
    {
        return device != other.device ? device < other.device : inode < other.inode;
    }
};

std::mutex& RegistryLock()
{
    static std::mutex lock;
    return lock;
}

std::map<CMapKey, std::shared_ptr<const CZelRescueMap>>& Registry()
{
    static std::map<CMapKey, std::shared_ptr<const CZelRescueMap>> maps;
    return maps;
}

} // namespace

bool CZelRescueMap::Parse(const char* text, size_t size, CZelRescueMap& map, std::string& error)
{
    map = CZelRescueMap();
    bool positionRead = false;
    size_t number = 0;
    size_t at = 0;
    while (at < size) {
        const char* newline = static_cast<const char*>(std::memchr(text + at, '\n', size - at));
        const size_t end = newline != nullptr ? static_cast<size_t>(newline - text) : size;
        const std::string line(text + at, end - at);
        at = end + 1;
        ++number;
        const std::string where = "line " + std::to_string(number) + ": ";
        if (line.find('\0') != std::string::npos) {
            error = where + "holds a zero byte: this is no map file";
            return false;
        }
        // A comment runs from a "#" that starts a line or follows a blank
        // to the line's end.
        std::vector<std::string> words = Words(line);
        const auto comment =
            std::find_if(words.begin(), words.end(), [](const std::string& word) { return word[0] == '#'; });
        words.erase(comment, words.end());
        if (words.empty())
            continue;
        if (!positionRead) {
            // The current position, its status, and (since GNU ddrescue
            // 1.18) the pass.
            uint64_t position = 0, pass = 0;
            char status = 0;
            if (words.size() < 2 || words.size() > 3 || !Number(words[0], position) ||
                !Status(words[1], kPositionStatus, status) || (words.size() == 3 && !Number(words[2], pass))) {
                error = where + "is no current-position line (\"POSITION STATUS [PASS]\")";
                return false;
            }
            positionRead = true;
            continue;
        }
        CZelRescueBlock block;
        block.line = number;
        if (words.size() != 3 || !Number(words[0], block.offset) || !Number(words[1], block.size) ||
            !Status(words[2], kBlockStatus, block.status)) {
            error = where + "is no block line (\"POSITION SIZE STATUS\", the status one of ? * / - +)";
            return false;
        }
        if (block.size == 0) {
            error = where + "describes a block of no bytes";
            return false;
        }
        if (block.offset > static_cast<uint64_t>(INT64_MAX) - block.size) {
            error = where + "describes a block that ends past the largest position";
            return false;
        }
        if (!map.m_Blocks.empty() && block.offset < map.Described()) {
            error = where + (block.offset < map.m_Blocks.back().offset ? "comes before the block above it"
                                                                       : "overlaps the block above it");
            return false;
        }
        map.m_Blocks.push_back(block);
        if (block.status != '+')
            continue;
        if (!map.m_Finished.empty() && map.m_Finished.back().second == block.offset)
            map.m_Finished.back().second += block.size;
        else
            map.m_Finished.emplace_back(block.offset, block.offset + block.size);
    }
    if (!positionRead) {
        error = "line " + std::to_string(number + 1) + ": the map ends before its current-position line";
        return false;
    }
    return true;
}

bool CZelRescueMap::Load(const std::string& path, CZelRescueMap& map, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::string text;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        text.append(chunk, static_cast<size_t>(in.gcount()));
        if (text.size() > kMaxMapBytes) {
            error = path + ": larger than any map GNU ddrescue writes";
            return false;
        }
    }
    if (in.bad()) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    if (!Parse(text.data(), text.size(), map, error)) {
        error = path + ", " + error;
        return false;
    }
    return true;
}

uint64_t CZelRescueMap::Readable(uint64_t offset, uint64_t count) const
{
    // The last finished stretch that starts at or before offset.
    auto after = std::upper_bound(m_Finished.begin(), m_Finished.end(), offset,
                                  [](uint64_t value, const std::pair<uint64_t, uint64_t>& stretch) {
                                      return value < stretch.first;
                                  });
    if (after == m_Finished.begin())
        return 0;
    const auto& stretch = *(after - 1);
    if (offset >= stretch.second)
        return 0;
    return std::min(count, stretch.second - offset);
}

uint64_t CZelRescueMap::UnreadBytes(uint64_t size) const
{
    uint64_t finished = 0;
    for (const auto& stretch : m_Finished)
        if (stretch.first < size)
            finished += std::min(stretch.second, size) - stretch.first;
    return size - finished;
}

std::string ZelRescueMapBeside(const std::string& image)
{
    for (const char* suffix : {".map", ".mapfile"}) {
        struct stat info;
        const std::string candidate = image + suffix;
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            return candidate;
    }
    return std::string();
}

bool ZelUseRescueMap(const std::string& image, std::shared_ptr<const CZelRescueMap> map, std::string& error)
{
    struct stat info;
    if (::stat(image.c_str(), &info) != 0) {
        error = image + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = image + ": a map describes an image file, and this is none";
        return false;
    }
    const uint64_t size = static_cast<uint64_t>(info.st_size);
    for (const CZelRescueBlock& block : map ? map->Blocks() : std::vector<CZelRescueBlock>()) {
        if (block.status == '+' && block.offset + block.size > size) {
            error = "line " + std::to_string(block.line) + ": a block read whole ends at " +
                    std::to_string(block.offset + block.size) + ", past the end of " + image + " (" +
                    std::to_string(size) + " bytes): it is the map of another copy";
            return false;
        }
    }
    std::lock_guard<std::mutex> lock(RegistryLock());
    Registry()[CMapKey{info.st_dev, info.st_ino}] = std::move(map);
    return true;
}

std::shared_ptr<const CZelRescueMap> ZelRescueMapFor(dev_t device, ino_t inode)
{
    std::lock_guard<std::mutex> lock(RegistryLock());
    auto found = Registry().find(CMapKey{device, inode});
    return found != Registry().end() ? found->second : nullptr;
}

void ZelForgetRescueMaps()
{
    std::lock_guard<std::mutex> lock(RegistryLock());
    Registry().clear();
}
