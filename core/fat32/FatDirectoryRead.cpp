#include "fat32/FatDirectoryRead.h"

#include "fat32/Fat32Layout.h"

#include <algorithm>
#include <cstring>

using namespace fat32layout;

CFatDirectoryRead ZelReadFatDirectory(CZelVolumeSource& source, uint64_t offset, uint8_t* destination, size_t count,
                                      size_t sector)
{
    CFatDirectoryRead result;
    CZelRead read = ZelReadRetrying(source, offset, destination, count);
    if (read.end != ZelReadEnd::Failed) {
        result.bytes = read.bytes;
        result.ended = !read.Complete();
        result.vanished = read.end == ZelReadEnd::Vanished;
        result.failed = read;
        return result;
    }
    static const uint8_t kStandIn[kEntrySize] = {kDeletedMark, ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', 0x08};
    sector = std::max(sector, kEntrySize);
    size_t done = read.bytes - read.bytes % sector;
    result.failed = read;
    while (done < count) {
        const size_t wanted = std::min(sector, count - done);
        CZelRead part = source.ReadAt(offset + done, destination + done, wanted);
        if (part.end == ZelReadEnd::Vanished) {
            result.vanished = result.ended = true;
            result.failed = part;
            result.bytes = done;
            return result;
        }
        if (part.end == ZelReadEnd::VolumeEnd) {
            result.ended = true;
            count = done + part.bytes;
            break;
        }
        if (part.end == ZelReadEnd::Failed) {
            for (size_t at = 0; at + kEntrySize <= wanted; at += kEntrySize)
                std::memcpy(destination + done + at, kStandIn, kEntrySize);
            if (result.unreadable == 0)
                result.firstFailed = offset + done;
            result.unreadable += wanted;
            result.failed = part;
            result.afterHoles.push_back(offset + done + wanted);
        }
        done += wanted;
    }
    result.bytes = count;
    return result;
}
