// The exFAT boot region and directory entry sets, decoded from bytes
// written here by hand.
#include "exfat/ExfatBootRegion.h"
#include "exfat/ExfatEntrySet.h"
#include "exfat/ExfatUpcase.h"
#include "support/ExfatImage.h"
#include "support/LittleEndian.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using jextest::Put16;
using jextest::Put32;
using jextest::Put64;

namespace {

// A boot region of 512-byte sectors, 4 KiB clusters, for a 64 MiB volume
// unless told otherwise, with its checksum sector filled in.
std::vector<uint8_t> Region(uint32_t sectorShift = 9, uint32_t clusterShift = 3, uint64_t volumeBytes = 64ull << 20)
{
    const uint32_t sector = 1u << sectorShift;
    std::vector<uint8_t> r(12 * sector, 0);
    r[0] = 0xEB;
    r[1] = 0x76;
    r[2] = 0x90;
    std::memcpy(&r[3], "EXFAT   ", 8);
    const uint64_t volumeSectors = volumeBytes >> sectorShift;
    Put64(r, 72, volumeSectors);
    Put32(r, 80, 128);                              // table at sector 128
    const uint32_t clusters = static_cast<uint32_t>((volumeSectors - 4096) >> clusterShift);
    Put32(r, 84, ((clusters + 2) * 4 + sector - 1) / sector); // table length
    Put32(r, 88, 4096);                             // heap at sector 4096
    Put32(r, 92, clusters);
    Put32(r, 96, 5);                                // root directory
    Put16(r, 104, 0x0100);
    r[108] = static_cast<uint8_t>(sectorShift);
    r[109] = static_cast<uint8_t>(clusterShift);
    r[110] = 1;
    r[510] = 0x55;
    r[511] = 0xAA;
    const uint32_t sum = ZelExfatBootChecksum(r.data(), sector);
    for (uint32_t at = 0; at < sector; at += 4)
        Put32(r, 11 * sector + at, sum);
    return r;
}

void Reseal(std::vector<uint8_t>& r, uint32_t sector = 512)
{
    const uint32_t sum = ZelExfatBootChecksum(r.data(), sector);
    for (uint32_t at = 0; at < sector; at += 4)
        Put32(r, 11 * sector + at, sum);
}

// A live file's entry set, modified 2025-04-12 13:25:02, its checksum
// taken by the test support's own sum.
std::vector<uint8_t> Set(const std::u16string& name, uint16_t attributes, uint32_t firstCluster, uint64_t size,
                         bool contiguous)
{
    return jextest::ExfatSetBytes(name, attributes, firstCluster, size, size, contiguous);
}

std::vector<uint8_t> Deleted(std::vector<uint8_t> set)
{
    for (size_t at = 0; at < set.size(); at += 32)
        set[at] &= 0x7F;
    return set;
}

} // namespace

TEST(ExfatBoot, ASoundRegionGivesItsLayout)
{
    std::vector<uint8_t> r = Region();
    CExfatBootSector boot;
    std::string problem;
    ASSERT_EQ(ZelDecodeExfatBootSector(r.data(), r.size(), boot, problem), ExfatBootCheck::Exfat) << problem;
    EXPECT_EQ(boot.sectorSize, 512u);
    EXPECT_EQ(boot.clusterSize, 4096u);
    EXPECT_EQ(boot.volumeSize, 64ull << 20);
    EXPECT_EQ(boot.fatBytesOffset, 128u * 512);
    EXPECT_EQ(boot.heapBytesOffset, 4096u * 512);
    EXPECT_EQ(boot.lastCluster, boot.clusterCount + 1);
    uint64_t offset = 0;
    ASSERT_TRUE(boot.ClusterOffset(5, offset));
    EXPECT_EQ(offset, 4096u * 512 + 3 * 4096);
    EXPECT_FALSE(boot.ClusterOffset(1, offset));
    EXPECT_FALSE(boot.ClusterOffset(boot.lastCluster + 1, offset));
    ASSERT_EQ(ZelChooseExfatBootRegion(r.data(), r.size(), nullptr, 0, boot, problem), ExfatBootSource::Main);

    // The volume flags and the share in use change without the checksum.
    r[106] = 0x02;
    r[112] = 57;
    EXPECT_EQ(ZelChooseExfatBootRegion(r.data(), r.size(), nullptr, 0, boot, problem), ExfatBootSource::Main)
        << problem;

    // 4 KiB sectors, 32 MiB clusters: the largest there are.
    std::vector<uint8_t> large = Region(12, 13, 1ull << 30);
    ASSERT_EQ(ZelDecodeExfatBootSector(large.data(), large.size(), boot, problem), ExfatBootCheck::Exfat) << problem;
    EXPECT_EQ(boot.clusterSize, 32ull << 20);
}

TEST(ExfatBoot, ValuesNoVolumeHasAreNamed)
{
    CExfatBootSector boot;
    std::string problem;
    struct Case {
        size_t at;
        uint8_t value;
        const char* named;
    } cases[] = {
        {108, 8, "bytes per sector shift is 8"},
        {108, 13, "bytes per sector shift is 13"},
        {109, 17, "sectors per cluster shift is 17"}, // 64 MiB clusters
        {110, 0, "allocation tables is 0"},
        {110, 3, "allocation tables is 3"},
        {1, 0x58, "jump"},
        {40, 1, "not zero"},
        {510, 0, "boot signature"},
        {96, 1, "root directory cluster is 1"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> r = Region();
        r[c.at] = c.value;
        problem.clear();
        EXPECT_EQ(ZelDecodeExfatBootSector(r.data(), r.size(), boot, problem), ExfatBootCheck::Invalid) << c.named;
        EXPECT_NE(problem.find(c.named), std::string::npos) << problem;
    }
    // Sizes that contradict each other.
    std::vector<uint8_t> r = Region();
    Put32(r, 92, 0xFFFFFFF0); // more clusters than the volume holds
    EXPECT_EQ(ZelDecodeExfatBootSector(r.data(), r.size(), boot, problem), ExfatBootCheck::Invalid);
    r = Region();
    Put32(r, 88, 130); // the heap inside the table
    EXPECT_EQ(ZelDecodeExfatBootSector(r.data(), r.size(), boot, problem), ExfatBootCheck::Invalid);
    EXPECT_NE(problem.find("inside the allocation table"), std::string::npos) << problem;
    r = Region();
    Put32(r, 84, 1); // a table too short for the clusters
    EXPECT_EQ(ZelDecodeExfatBootSector(r.data(), r.size(), boot, problem), ExfatBootCheck::Invalid);
    r = Region();
    Put64(r, 72, 100); // under a MiB
    EXPECT_EQ(ZelDecodeExfatBootSector(r.data(), r.size(), boot, problem), ExfatBootCheck::Invalid);

    // Not exFAT at all, or too short to say.
    r = Region();
    std::memcpy(&r[3], "NTFS    ", 8);
    EXPECT_EQ(ZelDecodeExfatBootSector(r.data(), r.size(), boot, problem), ExfatBootCheck::NotExfat);
    EXPECT_EQ(ZelDecodeExfatBootSector(r.data(), 100, boot, problem), ExfatBootCheck::TooShort);
    EXPECT_EQ(ZelDecodeExfatBootSector(nullptr, 0, boot, problem), ExfatBootCheck::TooShort);
}

TEST(ExfatBoot, TheBackupRegionStandsInForAMainOneThatFailsItsChecks)
{
    std::vector<uint8_t> main = Region(), backup = Region();
    // A main region whose root moved without its checksum: the backup's
    // root is taken.
    Put32(main, 96, 9);
    CExfatBootSector boot;
    std::string problem;
    ASSERT_EQ(ZelChooseExfatBootRegion(main.data(), main.size(), backup.data(), backup.size(), boot, problem),
              ExfatBootSource::Backup);
    EXPECT_EQ(boot.rootCluster, 5u);
    EXPECT_NE(problem.find("checksum does not agree"), std::string::npos) << problem;

    // Resealed, the main region is taken again.
    Reseal(main);
    ASSERT_EQ(ZelChooseExfatBootRegion(main.data(), main.size(), backup.data(), backup.size(), boot, problem),
              ExfatBootSource::Main);
    EXPECT_EQ(boot.rootCluster, 9u);

    // A main region of bad values, a backup cut short: neither, both named.
    main[108] = 20;
    ASSERT_EQ(ZelChooseExfatBootRegion(main.data(), main.size(), backup.data(), 11 * 512, boot, problem),
              ExfatBootSource::None);
    EXPECT_NE(problem.find("bytes per sector shift is 20"), std::string::npos) << problem;
    EXPECT_NE(problem.find("cut short"), std::string::npos) << problem;
}

TEST(ExfatEntrySet, LiveAndDeletedSetsDecodeWithTheirNamesSizesAndPlaces)
{
    const std::u16string name = u"Urlaubsfoto \u00e4\u00f6\u00fc 2025 \U0001F600.jpg"; // 29 units, 2 name entries
    std::vector<uint8_t> live = Set(name, 0x20, 1234, 5000000, true);
    CExfatEntrySet set;
    std::string problem;
    ASSERT_EQ(ZelDecodeExfatEntrySet(live.data(), live.size(), set, problem), ExfatSetCheck::Set) << problem;
    EXPECT_FALSE(set.deleted);
    EXPECT_EQ(set.secondaryCount, 3);
    EXPECT_EQ(set.Bytes(), 128u);
    EXPECT_EQ(set.name, name);
    EXPECT_EQ(set.nameLength, name.size());
    EXPECT_EQ(set.firstCluster, 1234u);
    EXPECT_EQ(set.dataLength, 5000000u);
    EXPECT_EQ(set.validDataLength, 5000000u);
    EXPECT_TRUE(set.noFatChain);
    EXPECT_FALSE(set.IsDirectory());
    EXPECT_EQ(set.modifiedTimestamp, 0x5A8C6B21u);

    // Deleting clears the in-use bits and leaves the checksum.
    std::vector<uint8_t> gone = Deleted(Set(u"Ordner", 0x10, 77, 4096, false));
    ASSERT_EQ(ZelDecodeExfatEntrySet(gone.data(), gone.size(), set, problem), ExfatSetCheck::Set) << problem;
    EXPECT_TRUE(set.deleted);
    EXPECT_TRUE(set.IsDirectory());
    EXPECT_FALSE(set.noFatChain);
    EXPECT_EQ(set.name, u"Ordner");

    // What follows a set does not matter; what is not a file entry is told.
    gone.resize(gone.size() + 64, 0xAB);
    EXPECT_EQ(ZelDecodeExfatEntrySet(gone.data(), gone.size(), set, problem), ExfatSetCheck::Set);
    EXPECT_EQ(ZelDecodeExfatEntrySet(live.data() + 32, live.size() - 32, set, problem), ExfatSetCheck::NotAFile);
    const uint8_t bitmap[32] = {0x81};
    EXPECT_EQ(ZelDecodeExfatEntrySet(bitmap, 32, set, problem), ExfatSetCheck::NotAFile);
}

TEST(ExfatEntrySet, SetsThatDoNotHoldTogetherAreRefused)
{
    const std::vector<uint8_t> good = Set(u"Brief an die Bank.docx", 0x20, 300, 12000, false);
    CExfatEntrySet set;
    std::string problem;
    auto check = [&](std::vector<uint8_t> bytes, const char* named) {
        problem.clear();
        EXPECT_EQ(ZelDecodeExfatEntrySet(bytes.data(), bytes.size(), set, problem), ExfatSetCheck::Broken) << named;
        EXPECT_NE(problem.find(named), std::string::npos) << problem;
    };
    auto resealed = [](std::vector<uint8_t> bytes) {
        Put16(bytes, 2, ZelExfatSetChecksum(bytes.data(), bytes.size() / 32, false));
        return bytes;
    };

    std::vector<uint8_t> bytes = good;
    bytes[40] ^= 1; // the size, without the checksum
    check(bytes, "checksum");
    bytes = good;
    bytes[1] = 1;
    check(bytes, "1 secondary entries");
    bytes = good;
    bytes[1] = 19;
    check(bytes, "19 secondary entries");
    bytes = good;
    bytes[35] = 40; // a name longer than its entries hold
    check(resealed(bytes), "a name of 40 characters");
    bytes = good;
    bytes[35] = 0;
    check(resealed(bytes), "a name of 0 characters");
    bytes = good;
    bytes[32] = 0xC1; // no stream extension
    check(resealed(bytes), "no stream extension");
    bytes = good;
    bytes[64] = 0xC0; // a second stream where the name goes
    check(resealed(bytes), "no file name entry");
    bytes = good;
    Put64(bytes, 40, 20000); // valid data past the data length
    check(resealed(bytes), "valid data length");
    // A deleted set whose second entry a live set took over.
    bytes = Deleted(good);
    bytes[64] = 0x85;
    check(bytes, "entry 2 of the set is no deleted secondary entry");
    bytes = good;
    bytes[32] = 0x40; // a live set with a deleted entry
    check(resealed(bytes), "entry 1 of the set is no live secondary entry");

    // A set that runs on past the bytes given goes on in the next cluster.
    EXPECT_EQ(ZelDecodeExfatEntrySet(good.data(), 64, set, problem), ExfatSetCheck::Short);
    bytes = good;
    bytes[1] = 18;
    EXPECT_EQ(ZelDecodeExfatEntrySet(bytes.data(), bytes.size(), set, problem), ExfatSetCheck::Short);
}

TEST(ExfatBoot, RegionsMkfsExfatWritesAreSoundAndTheirBackupsToo)
{
    if (jextest::Run("command -v mkfs.exfat >/dev/null") != 0)
        GTEST_SKIP() << "mkfs.exfat (exfatprogs) is not installed";
    jextest::TempDir dir;
    const std::string image = dir.File("card.img");
    struct Case {
        const char* options;
        uint64_t clusterSize;
    } cases[] = {{"", 4096}, {"-c 512", 512}, {"-c 128K", 128 * 1024}, {"-b 4M -c 32K", 32 * 1024}};
    for (const Case& c : cases) {
        ASSERT_EQ(jextest::Run("rm -f '" + image + "' && truncate -s 80M '" + image + "' && mkfs.exfat " +
                               c.options + " -L KARTE '" + image + "' >/dev/null"),
                  0)
            << c.options;
        const std::vector<uint8_t> bytes = jextest::ReadFile(image);
        ASSERT_GE(bytes.size(), 24u * 512);
        CExfatBootSector boot;
        std::string problem;
        ASSERT_EQ(ZelChooseExfatBootRegion(bytes.data(), 12 * 512, bytes.data() + 12 * 512, 12 * 512, boot, problem),
                  ExfatBootSource::Main)
            << c.options << ": " << problem;
        EXPECT_EQ(boot.clusterSize, c.clusterSize) << c.options;
        EXPECT_EQ(boot.volumeSize, bytes.size()) << c.options;
        uint64_t root = 0;
        ASSERT_TRUE(boot.ClusterOffset(boot.rootCluster, root));
        EXPECT_LT(root, bytes.size());
        // The root directory starts with the volume label, the allocation
        // bitmap or the up-case table entry.
        EXPECT_EQ(bytes[root] & 0x80, 0x80) << c.options;

        // A main region with one byte changed: the backup is taken.
        std::vector<uint8_t> damaged(bytes.begin(), bytes.begin() + 24 * 512);
        damaged[200] ^= 0xFF;
        CExfatBootSector fromBackup;
        ASSERT_EQ(ZelChooseExfatBootRegion(damaged.data(), 12 * 512, damaged.data() + 12 * 512, 12 * 512, fromBackup,
                                           problem),
                  ExfatBootSource::Backup)
            << c.options;
        EXPECT_EQ(fromBackup.rootCluster, boot.rootCluster);
    }
}

TEST(ExfatNameHash, IsTakenOverCapitals)
{
    // "A" is 41 00: 0x41, then rotated right and 0 added.
    EXPECT_EQ(ZelExfatNameHash(u"a"), 0x8020);
    EXPECT_EQ(ZelExfatNameHash(u"Bild 1000.jpg"), ZelExfatNameHash(u"BILD 1000.JPG"));
    EXPECT_EQ(ZelExfatNameHash(u"\u00e9t\u00e9"), ZelExfatNameHash(u"\u00c9T\u00c9"));
    EXPECT_NE(ZelExfatNameHash(u"a.jpg"), ZelExfatNameHash(u"b.jpg"));
}

TEST(ExfatUpcase, RunsOfUnitsThatAreTheirOwnCapitalsAreSkipped)
{
    // 'a'..'c' to capitals after 0x61 units of their own, then a run of
    // 0x3C0 more, then Cyrillic 0x430 to 0x410.
    std::vector<uint8_t> table;
    const auto unit = [&table](uint16_t u) {
        table.push_back(static_cast<uint8_t>(u & 0xFF));
        table.push_back(static_cast<uint8_t>(u >> 8));
    };
    unit(0xFFFF);
    unit(0x61);
    unit('A');
    unit('B');
    unit('C');
    unit(0xFFFF);
    unit(0x430 - 0x64);
    unit(0x410);
    std::vector<uint16_t> map;
    ZelDecodeExfatUpcase(table.data(), table.size(), map);
    ASSERT_EQ(map.size(), 65536u);
    EXPECT_EQ(map['a'], 'A');
    EXPECT_EQ(map['c'], 'C');
    EXPECT_EQ(map['d'], 'd');
    EXPECT_EQ(map['Z'], 'Z');
    EXPECT_EQ(map[0x430], 0x410);
    EXPECT_EQ(map[0x431], 0x431);
    // A table cut inside a run leaves the rest as it is.
    ZelDecodeExfatUpcase(table.data(), 8, map);
    EXPECT_EQ(map['a'], 'A');
    EXPECT_EQ(map['c'], 'c');
    // With the table, letters beyond Latin-1 hash by their capitals.
    ZelDecodeExfatUpcase(table.data(), table.size(), map);
    EXPECT_EQ(ZelExfatNameHash(u"\u0430", &map), ZelExfatNameHash(u"\u0410", &map));
    EXPECT_NE(ZelExfatNameHash(u"\u0430"), ZelExfatNameHash(u"\u0410"));
    const uint8_t bytes[] = {1, 2, 3};
    // 1; rotated right and 2 added: 0x80000002; rotated and 3 added.
    EXPECT_EQ(ZelExfatTableChecksum(bytes, 3), 0x40000004u);
}
