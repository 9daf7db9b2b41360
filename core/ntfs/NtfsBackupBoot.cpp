#include "ntfs/NtfsBackupBoot.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kBootSize = 512;

} // namespace

bool ZelLooksLikeNtfsBoot(const uint8_t* bytes, size_t size)
{
    return size >= kBootSize && std::memcmp(bytes + 3, "NTFS    ", 8) == 0 && bytes[510] == 0x55 && bytes[511] == 0xAA;
}

CZelRead CZelNtfsBackupBootSource::ReadAt(uint64_t offset, void* destination, size_t count)
{
    CZelRead read = m_pInner->ReadAt(offset, destination, count);
    // The first sector's bytes come from the copy, as far as the read got.
    if (offset < m_Boot.size()) {
        const size_t from = static_cast<size_t>(offset);
        const size_t length = std::min(read.bytes, m_Boot.size() - from);
        std::memcpy(destination, m_Boot.data() + from, length);
    }
    return read;
}

std::vector<uint8_t> ZelNtfsBackupBoot(CZelVolumeSource& source)
{
    std::vector<uint8_t> first(kBootSize), last(kBootSize);
    const uint64_t size = source.Size();
    if (size < 2 * kBootSize)
        return {};
    CZelRead start = ZelReadRetrying(source, 0, first.data(), first.size());
    if (start.bytes == first.size() && ZelLooksLikeNtfsBoot(first.data(), first.size()))
        return {};
    CZelRead end = ZelReadRetrying(source, size - kBootSize, last.data(), last.size());
    if (end.bytes != last.size() || !ZelLooksLikeNtfsBoot(last.data(), last.size()))
        return {};
    return last;
}
