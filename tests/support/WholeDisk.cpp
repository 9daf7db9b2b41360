#include "support/WholeDisk.h"

#include "support/NtfsImageWriter.h"

#include <gtest/gtest.h>

#include <fstream>

namespace jextest {

namespace {

void CopyInto(const std::string& whole, const std::string& part, uint64_t offset)
{
    std::vector<uint8_t> bytes = ReadFile(part);
    std::fstream io(whole, std::ios::binary | std::ios::in | std::ios::out);
    io.seekp(static_cast<std::streamoff>(offset));
    io.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(io.good()) << whole;
}

} // namespace

WholeDisk::WholeDisk(bool withNtfs, Table kind) : card(512, 0, 34000)
{
    card.Put("Foto.jpg", fat);
    card.Delete("Foto.jpg");
    const uint64_t fatSectors = 34000 * 2, ntfsSectors = 16 * 2048;
    fatStart = 2048;
    ntfsStart = fatStart + fatSectors + 2048;
    // Windows' basic data partition, for FAT32 and NTFS alike.
    const std::string data = "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7";
    std::string script = kind == Gpt ? "label: gpt\n" + std::to_string(fatStart) + "," + std::to_string(fatSectors) + "," + data + "\n"
                                     : "label: dos\n" + std::to_string(fatStart) + "," + std::to_string(fatSectors) + ",c\n";
    if (withNtfs) {
        ntfs = MakeNtfsImage(card.dir, "ntfs.img", 16);
        NtfsImageWriter disk(ntfs);
        EXPECT_TRUE(disk.Mounted());
        disk.File("/Brief.odt", letter);
        disk.Delete("/Brief.odt");
        if (kind == Gpt) {
            ntfsNumber = 2;
            script += std::to_string(ntfsStart) + "," + std::to_string(ntfsSectors) + "," + data + "\n";
        } else {
            script += std::to_string(fatStart + fatSectors) + "," + std::to_string(ntfsSectors + 4096) + ",5\n" +
                      std::to_string(ntfsStart) + "," + std::to_string(ntfsSectors) + ",7\n";
        }
    }
    image = card.dir.File("whole.img");
    EXPECT_EQ(Run("truncate -s " + std::to_string((ntfsStart + ntfsSectors + 2048) * 512) + " " + Quote(image)), 0);
    WriteFile(card.dir.File("table"), std::vector<uint8_t>(script.begin(), script.end()));
    EXPECT_EQ(Run("sfdisk -q " + Quote(image) + " < " + Quote(card.dir.File("table")) + " >/dev/null 2>&1"), 0);
    CopyInto(image, card.image, fatStart * 512);
    if (withNtfs)
        CopyInto(image, ntfs, ntfsStart * 512);
}

} // namespace jextest
