// Writes a FAT32 image of a deep tree of long names full of deleted
// entries, the shape that once cost gigabytes to scan: FOLDERS nested
// folders with 255-character names, PER deleted files in each.
//
// Usage: jexbench_deep-fat32 FILE [FOLDERS [PER]]   (250 and 260 by default)
#include "support/FatImageBuilder.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using jextest::FatImageBuilder;

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: %s FILE [FOLDERS [PER]]\n", argv[0]);
        return 2;
    }
    const uint32_t folders = argc > 2 ? static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 250;
    const uint32_t per = argc > 3 ? static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10)) : 260;
    // 4 KiB clusters; each folder holds its dot entries, the next folder's
    // 21 entries and its deleted files, in clusters of its own in a row.
    const uint32_t entriesPerFolder = 2 + 21 + per;
    const uint32_t clustersPerFolder = (entriesPerFolder * 32 + 4095) / 4096;
    const uint32_t dataCluster = 3;
    const uint32_t firstFolder = 4;
    const uint32_t clusters = firstFolder + folders * clustersPerFolder + 16;
    FatImageBuilder image(clusters * 8 + 8 * 2 * (clusters * 4 / 512 + 1) + 64, 512, 8);
    image.SetFat(2, 0x0FFFFFFF);
    image.PutData(dataCluster, std::vector<uint8_t>(100, 'x'));
    uint32_t parent = 2;
    uint32_t parentNext = 0;
    for (uint32_t depth = 0; depth < folders; ++depth) {
        const uint32_t folder = firstFolder + depth * clustersPerFolder;
        for (uint32_t c = 0; c + 1 < clustersPerFolder; ++c)
            image.SetFat(folder + c, folder + c + 1);
        image.SetFat(folder + clustersPerFolder - 1, 0x0FFFFFFF);
        std::u16string name(255, static_cast<char16_t>(u'a' + depth % 26));
        char shortName[12];
        std::snprintf(shortName, sizeof shortName, "D%07u   ", depth % 10000000);
        image.PutNamed(parent, parentNext, name, FatImageBuilder::ShortEntry(shortName, 0x10, folder, 0), false);
        image.PutEntry(folder, 0, FatImageBuilder::ShortEntry(".", 0x10, folder, 0));
        image.PutEntry(folder, 1, FatImageBuilder::ShortEntry("..", 0x10, parent == 2 ? 0 : parent, 0));
        for (uint32_t i = 0; i < per; ++i) {
            char fileName[12];
            std::snprintf(fileName, sizeof fileName, "F%07uTXT", i % 10000000);
            image.PutEntry(folder, 23 + i,
                           FatImageBuilder::Deleted(FatImageBuilder::ShortEntry(fileName, 0x20, dataCluster, 100)));
        }
        parent = folder;
        parentNext = 2;
    }
    image.Save(argv[1]);
    return 0;
}
