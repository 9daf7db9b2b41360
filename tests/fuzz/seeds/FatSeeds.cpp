// Writes small FAT32 volumes for the FAT32 fuzz target's seed corpus.
// mtools refuses FAT32 volumes of fewer than 65,525 clusters, and a volume
// that large costs the fuzzer a hundred times more per run than one of a
// few hundred KiB, so these are written byte by byte: live and deleted
// files with long names, a fragmented file, and a deleted folder tree.
//
// Usage: jexfat-seeds FOLDER
#include "support/FatImageBuilder.h"

#include <cstdio>
#include <string>
#include <vector>

using jextest::FatImageBuilder;

namespace {

std::vector<uint8_t> Pattern(size_t size, uint8_t seed)
{
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 9));
    return bytes;
}

// A directory's own "." and ".." entries.
void DotEntries(FatImageBuilder& image, uint32_t cluster, uint32_t parent, bool deleted)
{
    auto dot = FatImageBuilder::ShortEntry(".", 0x10, cluster, 0);
    auto dotdot = FatImageBuilder::ShortEntry("..", 0x10, parent == 2 ? 0 : parent, 0);
    image.PutEntry(cluster, 0, deleted ? FatImageBuilder::Deleted(dot) : dot);
    image.PutEntry(cluster, 1, deleted ? FatImageBuilder::Deleted(dotdot) : dotdot);
}

FatImageBuilder Volume(uint32_t sectors, uint16_t bytesPerSector, uint8_t sectorsPerCluster)
{
    FatImageBuilder image(sectors, bytesPerSector, sectorsPerCluster);
    const uint64_t cluster = image.ClusterSize();
    image.SetFat(2, 0x0FFFFFFF); // the root

    // A live folder holding a deleted note.
    uint32_t root = 0;
    root = image.PutNamed(2, root, u"Ordner", FatImageBuilder::ShortEntry("ORDNER", 0x10, 3, 0), false);
    image.SetFat(3, 0x0FFFFFFF);
    DotEntries(image, 3, 2, false);
    image.PutNamed(3, 2, u"Notiz.txt", FatImageBuilder::ShortEntry("NOTIZ   TXT", 0x20, 10, 27), true);
    image.PutData(10, Pattern(27, 1));

    // A deleted picture with a long name over several clusters.
    const uint32_t pictureSize = static_cast<uint32_t>(3 * cluster + 100);
    root = image.PutNamed(2, root, u"Ein langer Name f\u00fcr ein Bild.jpg",
                          FatImageBuilder::ShortEntry("EINLAN~1JPG", 0x20, 20, pictureSize), true);
    image.PutData(20, Pattern(pictureSize, 2));

    // A live file in two fragments.
    const uint32_t fragmentedSize = static_cast<uint32_t>(3 * cluster);
    root = image.PutNamed(2, root, u"Teile.bin", FatImageBuilder::ShortEntry("TEILE   BIN", 0x20, 30, fragmentedSize),
                          false);
    image.SetFat(30, 31);
    image.SetFat(31, 40);
    image.SetFat(40, 0x0FFFFFFF);

    // A deleted folder tree: Fotos/2026/IMG_0001.JPG and Fotos/Liste.txt.
    root = image.PutNamed(2, root, u"Fotos", FatImageBuilder::ShortEntry("FOTOS", 0x10, 50, 0), true);
    DotEntries(image, 50, 2, false);
    uint32_t fotos = 2;
    fotos = image.PutNamed(50, fotos, u"2026", FatImageBuilder::ShortEntry("2026", 0x10, 51, 0), true);
    image.PutNamed(50, fotos, u"Liste.txt", FatImageBuilder::ShortEntry("LISTE   TXT", 0x20, 60, 300), true);
    image.PutData(60, Pattern(300, 3));
    DotEntries(image, 51, 50, false);
    image.PutNamed(51, 2, u"IMG_0001.JPG", FatImageBuilder::ShortEntry("IMG_0001JPG", 0x20, 70, 2000), true);
    image.PutData(70, Pattern(2000, 4));
    image.PutEntry(2, root, FatImageBuilder::ShortEntry("JEXSEED", 0x08, 0, 0)); // the volume label
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    Volume(512, 512, 1).Save(folder + "/crafted-512");
    Volume(256, 1024, 2).Save(folder + "/crafted-2k");
    return 0;
}
