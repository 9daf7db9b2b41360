// libFuzzer target: the input as a whole disk, its partition table read by
// libblkid. Every partition listed must lie where the disk can hold it.
#include "jexplatform/PartitionTable.h"

#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int fd = ::memfd_create("jexfuzz-disk", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    if (::write(fd, data, size) == static_cast<ssize_t>(size)) {
        std::string table;
        for (const CZelPartition& p : ZelListPartitions(fd, size, table)) {
            if (p.offset >= size || p.length > size - p.offset || p.number <= 0) {
                std::fprintf(stderr, "jexfuzz: partition %d at %llu, %llu bytes, on a disk of %zu\n", p.number,
                             static_cast<unsigned long long>(p.offset), static_cast<unsigned long long>(p.length), size);
                std::abort();
            }
        }
    }
    ::close(fd);
    return 0;
}
