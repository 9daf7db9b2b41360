// What the NTFS engine says of files the volume no longer holds whole:
// clusters taken by newer files, clusters two deleted files claim, parents
// whose record holds another folder now; and scans repeated on one object.
#include "jexcommon/ZelText.h"
#include "support/ExportCore.h"
#include "support/NtfsImageWriter.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

using jextest::Content;
using jextest::NtfsImageWriter;

TEST(NtfsFidelity, TwoDeletedFilesOnTheSameClustersAreBothPartial)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 8, 4096);
    {
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.File("/First.bin", Content(5000000, 1));
        disk.Delete("/First.bin");
        disk.File("/Second.bin", Content(5000000, 2));
        disk.Delete("/Second.bin");
    }
    jextest::ExportScan scan(image);
    ASSERT_TRUE(scan.fs);
    auto first = scan.File("disk.img/First.bin");
    auto second = scan.File("disk.img/Second.bin");
    ASSERT_TRUE(first && second);
    // 5 MB on an 8 MiB volume: the second file lies over the first.
    EXPECT_LT(first->GetRecoveryEstimate(), 100);
    EXPECT_LT(second->GetRecoveryEstimate(), 100);
    CZelRestoreReport report;
    EXPECT_EQ(first->RestoreEx(dir.File("first").c_str(), {}, report), ZEL_S_PARTIAL);
    EXPECT_NE(report.reason.find(L"also claimed by other found files"), std::wstring::npos)
        << ZelWideToNarrow(report.reason);
}

TEST(NtfsFidelity, AParentRecordReusedByANewFolderIsNotTheFilesFolder)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 16);
    uint64_t folder = 0;
    {
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.Folder("/Alt");
        folder = disk.RecordOf("/Alt");
        disk.File("/Alt/Brief.txt", Content(3000, 1));
        disk.Delete("/Alt/Brief.txt");
        disk.Delete("/Alt");
    }
    // New folders, one at a time, until one has taken the old folder's
    // record while the letter's record is still free.
    for (int i = 0; i < 100; ++i) {
        {
            NtfsImageWriter disk(image);
            ASSERT_TRUE(disk.Mounted());
            disk.Folder("/Neu" + std::to_string(i));
        }
        jextest::ExportScan scan(image);
        ASSERT_TRUE(scan.fs);
        if (scan.Has("disk.img/Alt"))
            continue;
        bool letterFree = false;
        for (const std::string& path : scan.order)
            letterFree = letterFree || path.find("/Brief.txt") != std::string::npos;
        if (!letterFree)
            GTEST_SKIP() << "skipped: libntfs-3g gave the letter's record away before the folder's";
        // The new folder is not the letter's folder: the letter is listed
        // below the folder record it names, as a lost folder.
        for (int j = 0; j <= i; ++j)
            EXPECT_FALSE(scan.Has("disk.img/Neu" + std::to_string(j) + "/Brief.txt"));
        auto letter = scan.File("disk.img/$OrphanFiles/Folder " + std::to_string(folder) + "/Brief.txt");
        ASSERT_TRUE(letter);
        EXPECT_EQ(jextest::Restore(letter, dir.File("brief")), Content(3000, 1));
        return;
    }
    GTEST_SKIP() << "skipped: libntfs-3g did not reuse the folder's record";
}

TEST(NtfsFidelity, EachScanStartsFromAnEmptyResult)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 16);
    {
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.File("/A.txt", Content(10, 1));
        disk.File("/B.txt", Content(20000, 2));
        disk.Delete("/A.txt");
        disk.Delete("/B.txt");
    }
    jextest::ExportScan scan(image);
    ASSERT_TRUE(scan.fs);
    auto count = [&] {
        size_t n = 0;
        boost::shared_ptr<CZelEntityIterator> it = scan.fs->GetIterator();
        for (it->First(); !it->IsDone(); it->Next())
            ++n;
        return n;
    };
    const size_t once = count();
    EXPECT_EQ(once, 2u);
    ASSERT_EQ(scan.fs->FindDeleted(scan.volume.c_str(), 1, {}), ZEL_S_OK);
    EXPECT_EQ(count(), once);
    // A resident file is all in its record: nothing to lose.
    EXPECT_EQ(scan.File("disk.img/A.txt")->GetRecoveryEstimate(), 100);
}

namespace {

// MFT records of an image made by libntfs-3g, read and written byte by
// byte with their fixups: for what libntfs-3g cannot be made to write.
class MftRecords {
public:
    explicit MftRecords(const std::string& image) : m_Image(image)
    {
        std::vector<uint8_t> boot = ReadAt(0, 512);
        const uint64_t cluster = static_cast<uint64_t>(Le(boot, 11, 2)) * boot[13];
        const int8_t perRecord = static_cast<int8_t>(boot[64]);
        m_RecordSize = perRecord < 0 ? (uint64_t(1) << -perRecord) : perRecord * cluster;
        m_Mft = Le(boot, 48, 8) * cluster;
    }
    std::vector<uint8_t> Read(uint64_t record)
    {
        std::vector<uint8_t> bytes = ReadAt(m_Mft + record * m_RecordSize, static_cast<size_t>(m_RecordSize));
        const size_t usa = Le(bytes, 4, 2), count = Le(bytes, 6, 2);
        for (size_t i = 1; i < count && i * 512 <= bytes.size(); ++i) {
            bytes[i * 512 - 2] = bytes[usa + 2 * i];
            bytes[i * 512 - 1] = bytes[usa + 2 * i + 1];
        }
        return bytes;
    }
    void Write(uint64_t record, std::vector<uint8_t> bytes)
    {
        const size_t usa = Le(bytes, 4, 2), count = Le(bytes, 6, 2);
        for (size_t i = 1; i < count && i * 512 <= bytes.size(); ++i) {
            bytes[usa + 2 * i] = bytes[i * 512 - 2];
            bytes[usa + 2 * i + 1] = bytes[i * 512 - 1];
            bytes[i * 512 - 2] = bytes[usa];
            bytes[i * 512 - 1] = bytes[usa + 1];
        }
        std::fstream io(m_Image, std::ios::binary | std::ios::in | std::ios::out);
        io.seekp(static_cast<std::streamoff>(m_Mft + record * m_RecordSize));
        io.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    // The record whose $FILE_NAME is name (ASCII), or 0.
    uint64_t Find(const std::string& name)
    {
        for (uint64_t r = 16; r < 512; ++r) {
            std::vector<uint8_t> bytes = Read(r);
            if (bytes.size() < m_RecordSize || std::memcmp(bytes.data(), "FILE", 4) != 0)
                continue;
            for (size_t at = Le(bytes, 20, 2); at + 16 <= bytes.size() && Le(bytes, at, 4) != 0xFFFFFFFF;) {
                const size_t length = Le(bytes, at + 4, 4);
                if (length < 16 || at + length > bytes.size())
                    break;
                if (Le(bytes, at, 4) == 0x30) {
                    const size_t value = at + Le(bytes, at + 20, 2);
                    std::string found;
                    for (size_t i = 0; i < bytes[value + 64]; ++i)
                        found += static_cast<char>(bytes[value + 66 + 2 * i]);
                    if (found == name)
                        return r;
                }
                at += length;
            }
        }
        return 0;
    }

    // Where the record's first attribute of type begins, or 0.
    static size_t Attribute(const std::vector<uint8_t>& b, uint32_t type)
    {
        for (size_t at = Le(b, 20, 2); at + 8 <= b.size() && Le(b, at, 4) != 0xFFFFFFFF;) {
            if (Le(b, at, 4) == type)
                return at;
            const size_t length = Le(b, at + 4, 4);
            if (length < 16)
                return 0;
            at += length;
        }
        return 0;
    }
    static uint64_t Le(const std::vector<uint8_t>& b, size_t at, int count)
    {
        uint64_t v = 0;
        for (int i = count - 1; i >= 0; --i)
            v = (v << 8) | b[at + static_cast<size_t>(i)];
        return v;
    }
    static void Put(std::vector<uint8_t>& b, size_t at, uint64_t v, int count)
    {
        for (int i = 0; i < count; ++i)
            b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    }

private:
    std::vector<uint8_t> ReadAt(uint64_t offset, size_t count)
    {
        std::vector<uint8_t> bytes(count);
        std::ifstream in(m_Image, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(offset));
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
        bytes.resize(static_cast<size_t>(in.gcount()));
        return bytes;
    }

    std::string m_Image;
    uint64_t m_RecordSize = 1024;
    uint64_t m_Mft = 0;
};

} // namespace

// Does what a system does when a record fills up: the base record of
// the file named name keeps an $ATTRIBUTE_LIST, and its attribute of type
// moves to an extension record (the freed record of the file named spare).
void MoveToExtension(const std::string& image, const std::string& name, const std::string& spare, uint32_t type)
{
    MftRecords mft(image);
    const uint64_t base = mft.Find(name), extension = mft.Find(spare);
    ASSERT_NE(base, 0u) << name;
    ASSERT_NE(extension, 0u) << spare;
    std::vector<uint8_t> b = mft.Read(base);
    const uint16_t baseSequence = static_cast<uint16_t>(MftRecords::Le(b, 16, 2));
    std::vector<uint8_t> moved, kept;
    for (size_t at = MftRecords::Le(b, 20, 2); MftRecords::Le(b, at, 4) != 0xFFFFFFFF;) {
        const size_t length = MftRecords::Le(b, at + 4, 4);
        std::vector<uint8_t>& into = MftRecords::Le(b, at, 4) == type && moved.empty() ? moved : kept;
        into.insert(into.end(), b.begin() + static_cast<std::ptrdiff_t>(at),
                    b.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    }
    ASSERT_FALSE(moved.empty());
    // The list names the moved attribute, from VCN 0, in the extension.
    std::vector<uint8_t> ext = mft.Read(extension);
    const uint64_t extensionReference = extension | (MftRecords::Le(ext, 16, 2) << 48);
    std::vector<uint8_t> list(24 + 32, 0);
    MftRecords::Put(list, 0, 0x20, 4);
    MftRecords::Put(list, 4, list.size(), 4);
    MftRecords::Put(list, 16, 32, 4);
    MftRecords::Put(list, 20, 24, 2);
    MftRecords::Put(list, 24 + 0, type, 4);
    MftRecords::Put(list, 24 + 4, 32, 2);
    MftRecords::Put(list, 24 + 16, extensionReference, 8);
    std::vector<uint8_t> attributes = list;
    attributes.insert(attributes.end(), kept.begin(), kept.end());
    attributes.insert(attributes.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0});
    const size_t first = MftRecords::Le(b, 20, 2);
    std::copy(attributes.begin(), attributes.end(), b.begin() + static_cast<std::ptrdiff_t>(first));
    MftRecords::Put(b, 24, first + attributes.size(), 4);
    mft.Write(base, b);
    // The extension: free too, naming the base as it was while in use.
    const size_t extFirst = MftRecords::Le(ext, 20, 2);
    moved.insert(moved.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0});
    std::copy(moved.begin(), moved.end(), ext.begin() + static_cast<std::ptrdiff_t>(extFirst));
    MftRecords::Put(ext, 24, extFirst + moved.size(), 4);
    MftRecords::Put(ext, 32, base | (uint64_t(static_cast<uint16_t>(baseSequence - 1)) << 48), 8);
    mft.Write(extension, ext);
}

TEST(NtfsFidelity, AFileWhoseDataLiesInAnExtensionRecordComesBackWhole)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 16, 4096);
    const std::vector<uint8_t> data = Content(40000, 5);
    {
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.File("/Liste.bin", data);
        disk.File("/Platz.txt", Content(10, 6));
        disk.Delete("/Liste.bin");
        disk.Delete("/Platz.txt");
    }
    MoveToExtension(image, "Liste.bin", "Platz.txt", 0x80);

    jextest::ExportScan scan(image);
    ASSERT_TRUE(scan.fs);
    auto file = scan.File("disk.img/Liste.bin");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->GetSize(), data.size());
    EXPECT_EQ(file->GetRecoveryEstimate(), 100);
    EXPECT_EQ(jextest::Restore(file, dir.File("liste")), data);
    // The extension record is no file of its own.
    EXPECT_FALSE(scan.Has("disk.img/Platz.txt"));
}

TEST(NtfsFidelity, AFolderWhoseNameLiesInAnExtensionRecordKeepsItsFiles)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 16, 4096);
    {
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.Folder("/Urlaub");
        disk.Folder("/Urlaub/Strand");
        disk.File("/Urlaub/Strand/Welle.jpg", Content(9000, 7));
        disk.File("/Platz.txt", Content(10, 8));
        disk.Delete("/Urlaub/Strand/Welle.jpg");
        disk.Delete("/Urlaub/Strand");
        disk.Delete("/Urlaub");
        disk.Delete("/Platz.txt");
    }
    MoveToExtension(image, "Strand", "Platz.txt", 0x30);

    jextest::ExportScan scan(image);
    ASSERT_TRUE(scan.fs);
    EXPECT_TRUE(scan.Has("disk.img/Urlaub/Strand"));
    auto file = scan.File("disk.img/Urlaub/Strand/Welle.jpg");
    ASSERT_TRUE(file);
    EXPECT_EQ(jextest::Restore(file, dir.File("welle")), Content(9000, 7));
}

TEST(NtfsFidelity, ACompressedFileComesBackDecompressed)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 16, 4096);
    // One compression unit of 16 clusters; each 4096-byte chunk one letter
    // over and over, so that LZNT1 packs the unit into one cluster.
    std::vector<uint8_t> plain;
    for (int k = 0; k < 16; ++k)
        plain.insert(plain.end(), 4096, static_cast<uint8_t>('a' + k));
    {
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.File("/Gepackt.bin", Content(plain.size(), 9));
        disk.Delete("/Gepackt.bin");
    }
    // What a system writes for a compressed file: the unit's chunks in its
    // first cluster, the other fifteen sparse.
    MftRecords mft(image);
    const uint64_t record = mft.Find("Gepackt.bin");
    ASSERT_NE(record, 0u);
    std::vector<uint8_t> r = mft.Read(record);
    const size_t data = MftRecords::Attribute(r, 0x80);
    ASSERT_NE(data, 0u);
    ASSERT_NE(r[data + 8], 0);
    const size_t pairs = data + MftRecords::Le(r, data + 32, 2);
    // The first cluster of the file as it was written.
    const int lengthBytes = r[pairs] & 0x0F, offsetBytes = r[pairs] >> 4;
    const uint64_t lcn = MftRecords::Le(r, pairs + 1 + static_cast<size_t>(lengthBytes), offsetBytes);
    ASSERT_LT(lcn, 1u << 23);
    MftRecords::Put(r, data + 12, MftRecords::Le(r, data + 12, 2) | 0x0001, 2);
    r[data + 34] = 4;
    const std::vector<uint8_t> runs{0x31, 0x01, static_cast<uint8_t>(lcn), static_cast<uint8_t>(lcn >> 8),
                                    static_cast<uint8_t>(lcn >> 16), 0x01, 0x0F, 0x00};
    ASSERT_LE(pairs + runs.size(), data + MftRecords::Le(r, data + 4, 4));
    std::copy(runs.begin(), runs.end(), r.begin() + static_cast<std::ptrdiff_t>(pairs));
    mft.Write(record, r);
    std::vector<uint8_t> chunks;
    for (int k = 0; k < 16; ++k) {
        // A literal, then 4095 bytes from one back: offset 1, length 4095,
        // with 12 length bits at position 1.
        chunks.insert(chunks.end(), {0x03, 0xB0, 0x02, static_cast<uint8_t>('a' + k), 0xFC, 0x0F});
    }
    chunks.insert(chunks.end(), {0, 0});
    {
        std::fstream io(image, std::ios::binary | std::ios::in | std::ios::out);
        io.seekp(static_cast<std::streamoff>(lcn * 4096));
        io.write(reinterpret_cast<const char*>(chunks.data()), static_cast<std::streamsize>(chunks.size()));
    }

    jextest::ExportScan scan(image);
    ASSERT_TRUE(scan.fs);
    auto file = scan.File("disk.img/Gepackt.bin");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->GetSize(), plain.size());
    EXPECT_EQ(file->GetRecoveryEstimate(), 100);
    EXPECT_EQ(jextest::Restore(file, dir.File("gepackt")), plain);
}

TEST(NtfsFidelity, AnEncryptedFileIsNotRestoredAsIfItWerePlain)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 16, 4096);
    {
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.File("/Geheim.bin", Content(20000, 4));
        disk.Delete("/Geheim.bin");
    }
    // The stream's encrypted flag, as EFS sets it.
    MftRecords mft(image);
    const uint64_t record = mft.Find("Geheim.bin");
    ASSERT_NE(record, 0u);
    std::vector<uint8_t> r = mft.Read(record);
    const size_t data = MftRecords::Attribute(r, 0x80);
    ASSERT_NE(data, 0u);
    MftRecords::Put(r, data + 12, MftRecords::Le(r, data + 12, 2) | 0x4000, 2);
    mft.Write(record, r);

    jextest::ExportScan scan(image);
    ASSERT_TRUE(scan.fs);
    auto file = scan.File("disk.img/Geheim.bin");
    ASSERT_TRUE(file);
    CZelRestoreReport report;
    EXPECT_EQ(file->RestoreEx(dir.File("geheim").c_str(), {}, report), ZEL_E_ENGINE);
    EXPECT_EQ(report.verdict, ZelRestoreFailed);
    EXPECT_NE(report.reason.find(L"encrypted"), std::wstring::npos);
    EXPECT_FALSE(std::filesystem::exists(dir.File("geheim")));
}

TEST(NtfsFidelity, DataExtentsInTwoExtensionRecordsAreJoinedInTheirOrder)
{
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 16, 4096);
    std::vector<uint8_t> data = Content(4 * 4096, 1);
    const std::vector<uint8_t> more = Content(4 * 4096, 3);
    {
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.File("/Teile.bin", data);
        disk.File("/Mitte.bin", Content(4 * 4096, 2));
        // Grown after another file: its second half lies elsewhere.
        disk.WriteAt("/Teile.bin", data.size(), more);
        disk.File("/Platz1.txt", Content(10, 4));
        disk.File("/Platz2.txt", Content(10, 5));
        disk.Delete("/Teile.bin");
        disk.Delete("/Platz1.txt");
        disk.Delete("/Platz2.txt");
    }
    data.insert(data.end(), more.begin(), more.end());
    MftRecords mft(image);
    const uint64_t base = mft.Find("Teile.bin"), first = mft.Find("Platz1.txt"), second = mft.Find("Platz2.txt");
    ASSERT_TRUE(base != 0 && first != 0 && second != 0);
    std::vector<uint8_t> b = mft.Read(base);
    const uint16_t baseSequence = static_cast<uint16_t>(MftRecords::Le(b, 16, 2));
    std::vector<uint8_t> header, kept;
    std::vector<std::pair<uint64_t, uint64_t>> runs; // length, lcn
    for (size_t at = MftRecords::Le(b, 20, 2); MftRecords::Le(b, at, 4) != 0xFFFFFFFF;) {
        const size_t length = MftRecords::Le(b, at + 4, 4);
        if (MftRecords::Le(b, at, 4) == 0x80) {
            header.assign(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + 64));
            uint64_t lcn = 0;
            for (size_t p = at + MftRecords::Le(b, at + 32, 2); b[p] != 0;) {
                const int lb = b[p] & 0x0F, ob = b[p] >> 4;
                lcn += MftRecords::Le(b, p + 1 + static_cast<size_t>(lb), ob);
                runs.emplace_back(MftRecords::Le(b, p + 1, lb), lcn);
                p += 1 + static_cast<size_t>(lb + ob);
            }
        } else {
            kept.insert(kept.end(), b.begin() + static_cast<std::ptrdiff_t>(at),
                        b.begin() + static_cast<std::ptrdiff_t>(at + length));
        }
        at += length;
    }
    ASSERT_EQ(runs.size(), 2u) << "the file should lie in two pieces";
    // One extent per run: VCN 0 with the sizes, VCN of the second run with
    // none, each in its own record, the later one in the first record.
    auto extent = [&](size_t i) {
        std::vector<uint8_t> a = header;
        const uint64_t vcn = i == 0 ? 0 : runs[0].first;
        MftRecords::Put(a, 16, vcn, 8);
        MftRecords::Put(a, 24, vcn + runs[i].first - 1, 8);
        if (i != 0)
            for (size_t at : {40, 48, 56})
                MftRecords::Put(a, at, 0, 8);
        MftRecords::Put(a, 32, 64, 2);
        a.insert(a.end(), {0x31, static_cast<uint8_t>(runs[i].first), static_cast<uint8_t>(runs[i].second),
                           static_cast<uint8_t>(runs[i].second >> 8), static_cast<uint8_t>(runs[i].second >> 16), 0, 0, 0});
        MftRecords::Put(a, 4, a.size(), 4);
        return a;
    };
    auto place = [&](uint64_t record, const std::vector<uint8_t>& attribute) {
        std::vector<uint8_t> e = mft.Read(record);
        std::vector<uint8_t> bytes = attribute;
        bytes.insert(bytes.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0});
        const size_t at = MftRecords::Le(e, 20, 2);
        std::copy(bytes.begin(), bytes.end(), e.begin() + static_cast<std::ptrdiff_t>(at));
        MftRecords::Put(e, 24, at + bytes.size(), 4);
        MftRecords::Put(e, 32, base | (uint64_t(static_cast<uint16_t>(baseSequence - 1)) << 48), 8);
        mft.Write(record, e);
        return record | (MftRecords::Le(e, 16, 2) << 48);
    };
    const uint64_t laterRef = place(first, extent(1)), earlierRef = place(second, extent(0));
    std::vector<uint8_t> list(24 + 64, 0);
    MftRecords::Put(list, 0, 0x20, 4);
    MftRecords::Put(list, 4, list.size(), 4);
    MftRecords::Put(list, 16, 64, 4);
    MftRecords::Put(list, 20, 24, 2);
    MftRecords::Put(list, 24, 0x80, 4);
    MftRecords::Put(list, 28, 32, 2);
    MftRecords::Put(list, 32, runs[0].first, 8);
    MftRecords::Put(list, 40, laterRef, 8);
    MftRecords::Put(list, 56, 0x80, 4);
    MftRecords::Put(list, 60, 32, 2);
    MftRecords::Put(list, 72, earlierRef, 8);
    std::vector<uint8_t> attributes = list;
    attributes.insert(attributes.end(), kept.begin(), kept.end());
    attributes.insert(attributes.end(), {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0});
    const size_t at = MftRecords::Le(b, 20, 2);
    std::copy(attributes.begin(), attributes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    MftRecords::Put(b, 24, at + attributes.size(), 4);
    mft.Write(base, b);

    jextest::ExportScan scan(image);
    ASSERT_TRUE(scan.fs);
    auto file = scan.File("disk.img/Teile.bin");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->GetSize(), data.size());
    EXPECT_EQ(file->GetRecoveryEstimate(), 100);
    EXPECT_EQ(jextest::Restore(file, dir.File("teile")), data);
}

TEST(NtfsFidelity, RunsThatOverlapAreNotCopiedBeyondTheVolume)
{
    // Ten runs that each cover the whole volume, and a size of 1 TiB: a
    // crafted record. It is listed as a file nothing can be promised of,
    // and its restore writes no more than the volume holds.
    jextest::TempDir dir;
    std::string image = jextest::MakeNtfsImage(dir, "disk.img", 16, 4096);
    {
        NtfsImageWriter disk(image);
        ASSERT_TRUE(disk.Mounted());
        disk.File("/Schleife.bin", Content(40000, 4));
        disk.Delete("/Schleife.bin");
    }
    MftRecords mft(image);
    const uint64_t record = mft.Find("Schleife.bin");
    ASSERT_NE(record, 0u);
    std::vector<uint8_t> r = mft.Read(record);
    const size_t data = MftRecords::Attribute(r, 0x80);
    ASSERT_NE(data, 0u);
    ASSERT_NE(r[data + 8], 0) << "the data lies in clusters";
    ASSERT_EQ(MftRecords::Le(r, data + MftRecords::Le(r, data + 4, 4), 4), 0xFFFFFFFFu) << "$DATA comes last";
    const uint64_t volumeClusters = 16 * 256, runs = 10;
    std::vector<uint8_t> pairs;
    for (uint64_t i = 0; i < runs; ++i)
        pairs.insert(pairs.end(), {0x12, static_cast<uint8_t>(volumeClusters), static_cast<uint8_t>(volumeClusters >> 8), 0});
    pairs.push_back(0);
    while (pairs.size() % 8 != 0)
        pairs.push_back(0);
    const size_t mapping = MftRecords::Le(r, data + 32, 2);
    ASSERT_LE(data + mapping + pairs.size() + 8, r.size());
    std::copy(pairs.begin(), pairs.end(), r.begin() + static_cast<std::ptrdiff_t>(data + mapping));
    MftRecords::Put(r, data + 4, mapping + pairs.size(), 4);
    MftRecords::Put(r, data + 24, runs * volumeClusters - 1, 8);        // last VCN
    MftRecords::Put(r, data + 40, runs * volumeClusters * 4096, 8);     // allocated
    MftRecords::Put(r, data + 48, uint64_t(1) << 40, 8);                // data size
    MftRecords::Put(r, data + 56, uint64_t(1) << 40, 8);                // initialized
    const size_t end = data + mapping + pairs.size();
    MftRecords::Put(r, end, 0xFFFFFFFF, 4);
    MftRecords::Put(r, end + 4, 0, 4);
    MftRecords::Put(r, 24, end + 8, 4);
    mft.Write(record, r);

    jextest::ExportScan scan(image);
    ASSERT_TRUE(scan.fs);
    auto file = scan.File("disk.img/Schleife.bin");
    ASSERT_TRUE(file);
    EXPECT_EQ(file->GetRecoveryEstimate(), 0);
    CZelRestoreReport report;
    EXPECT_EQ(file->RestoreEx(dir.File("schleife").c_str(), {}, report), ZEL_S_PARTIAL);
    EXPECT_LE(std::filesystem::file_size(dir.File("schleife")), volumeClusters * 4096);
    EXPECT_NE(ZelWideToNarrow(report.reason).find("overlap each other"), std::string::npos)
        << ZelWideToNarrow(report.reason);
}
