// Partitions inside a whole-disk image or device, as libblkid reads its
// partition table (MBR with extended partitions, GPT), and the volume text
// that names one of them: "IMAGE@pN".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CZelPartition {
    // As the table numbers it: 1 to 4 for primary MBR partitions, 5 on for
    // logical ones, 1 on for GPT.
    int number = 0;
    uint64_t offset = 0; // bytes from the start of the disk
    // Bytes; for a partition the disk ends inside, up to where it ends.
    uint64_t length = 0;
    // The disk (a copy cut short, say) ends before the partition does.
    bool cutShort = false;
    // The partition type as libblkid gives it ("0xc", a GPT type GUID).
    std::string type;
    // A container of logical partitions: holds no file system of its own.
    bool extended = false;
};

// The partitions of the disk or image open on fd (size bytes long);
// tableType is "dos" or "gpt", empty with no partitions when there is no
// table. A partition that starts past the disk's end is left out; one the
// disk ends inside is kept, cut where the disk ends.
std::vector<CZelPartition> ZelListPartitions(int fd, uint64_t size, std::string& tableType);

// Splits a volume text "IMAGE@pN" into IMAGE and N; false for any other
// text.
bool ZelSplitPartitionText(const std::string& text, std::string& image, int& number);
