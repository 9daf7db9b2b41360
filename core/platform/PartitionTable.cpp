#include "jexplatform/PartitionTable.h"

#include <blkid/blkid.h>

#include <cctype>
#include <cstdio>

std::vector<CZelPartition> ZelListPartitions(int fd, uint64_t size, std::string& tableType)
{
    std::vector<CZelPartition> partitions;
    tableType.clear();
    blkid_probe probe = blkid_new_probe();
    if (probe == nullptr)
        return partitions;
    if (blkid_probe_set_device(probe, fd, 0, 0) == 0) {
        blkid_probe_enable_superblocks(probe, 0);
        blkid_probe_enable_partitions(probe, 1);
        blkid_probe_set_partitions_flags(probe, BLKID_PARTS_ENTRY_DETAILS);
        blkid_partlist list = blkid_do_safeprobe(probe) == 0 ? blkid_probe_get_partitions(probe) : nullptr;
        blkid_parttable table = list != nullptr ? blkid_partlist_get_table(list) : nullptr;
        if (table != nullptr && blkid_parttable_get_type(table) != nullptr)
            tableType = blkid_parttable_get_type(table);
        const int count = list != nullptr ? blkid_partlist_numof_partitions(list) : 0;
        for (int i = 0; i < count; ++i) {
            blkid_partition part = blkid_partlist_get_partition(list, i);
            if (part == nullptr)
                continue;
            const blkid_loff_t start = blkid_partition_get_start(part);
            const blkid_loff_t sectors = blkid_partition_get_size(part);
            // Sectors of 512 bytes, as libblkid counts them.
            if (start < 0 || sectors <= 0 || static_cast<uint64_t>(start) > UINT64_MAX / 512 ||
                static_cast<uint64_t>(sectors) > UINT64_MAX / 512)
                continue;
            CZelPartition p;
            p.number = blkid_partition_get_partno(part);
            p.offset = static_cast<uint64_t>(start) * 512;
            p.length = static_cast<uint64_t>(sectors) * 512;
            if (size != 0 && p.offset >= size)
                continue;
            if (size != 0 && p.length > size - p.offset) {
                p.length = size - p.offset;
                p.cutShort = true;
            }
            // A GPT partition has a type GUID; an MBR one a type number.
            const char* type = blkid_partition_get_type_string(part);
            char number[16];
            std::snprintf(number, sizeof number, "0x%x", static_cast<unsigned>(blkid_partition_get_type(part)));
            p.type = type != nullptr ? type : number;
            p.extended = blkid_partition_is_extended(part) != 0;
            partitions.push_back(p);
        }
    }
    blkid_free_probe(probe);
    return partitions;
}

bool ZelSplitPartitionText(const std::string& text, std::string& image, int& number)
{
    const size_t at = text.rfind("@p");
    if (at == std::string::npos || at == 0 || at + 2 >= text.size() || text.size() - at - 2 > 4)
        return false;
    number = 0;
    for (size_t i = at + 2; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
        number = number * 10 + (text[i] - '0');
    }
    if (number == 0)
        return false;
    image = text.substr(0, at);
    return true;
}
