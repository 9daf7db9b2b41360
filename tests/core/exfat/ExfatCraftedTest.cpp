// The exFAT engine on images mkfs.exfat made and sets, chains and boot
// sectors then written into them by hand: what no driver writes, and what a
// damaged or hostile card holds.
#include "exfat/ExfatEngine.h"
#include "jexcommon/ZelText.h"
#include "support/ExfatImage.h"
#include "support/FaultySource.h"
#include "support/LittleEndian.h"
#include "support/TestImages.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sys/stat.h>

using jextest::Content;
using jextest::ExfatImageEditor;
using jextest::ExfatSetBytes;

namespace {

constexpr uint16_t kArchive = 0x20;
constexpr uint16_t kDirectory = 0x10;

class ExfatCrafted : public ::testing::Test {
protected:
    void SetUp() override
    {
        image = jextest::MakeExfatImage(dir, "card.img", 16, 4096);
        edit = std::make_unique<ExfatImageEditor>(image);
        slot = edit->FreeRootSlot();
        next = edit->FirstFreeCluster() + 8;
    }

    // A deleted file's set in the root, its data at the next free clusters
    // unless told where; returns the data.
    std::vector<uint8_t> PutFile(const std::u16string& name, size_t size, uint32_t seed, bool contiguous = true,
                                 bool deleted = true)
    {
        std::vector<uint8_t> data = Content(size, seed);
        const uint32_t first = next;
        edit->Write(edit->ClusterOffset(first), data);
        next += static_cast<uint32_t>((size + edit->ClusterSize() - 1) / edit->ClusterSize()) + 1;
        PutSet(ExfatSetBytes(name, kArchive, first, size, size, contiguous, deleted));
        return data;
    }

    void PutSet(const std::vector<uint8_t>& set)
    {
        edit->PutInRoot(slot, set);
        slot += set.size() / 32;
    }

    // Scans the image; every path the iterator hands out, with its entry.
    std::map<std::string, boost::shared_ptr<CZelFSFileEntry>> Scan(int32_t expected = 0, bool deep = true)
    {
        EXPECT_EQ(engine->Open(image.c_str(), 512), 0);
        EXPECT_EQ(engine->FindDeleted(image.c_str(), 1, nullptr, deep), expected) << engine->GetLastError();
        std::map<std::string, boost::shared_ptr<CZelFSFileEntry>> found;
        auto it = engine->GetIterator();
        for (it->First(); !it->IsDone(); it->Next())
            if (auto entry = it->CurrentItem())
                found[entry->GetPathUtf8()] = entry;
        return found;
    }

    static boost::shared_ptr<CZelFSFile> File(const std::map<std::string, boost::shared_ptr<CZelFSFileEntry>>& found,
                                              const std::string& path)
    {
        auto it = found.find(path);
        EXPECT_NE(it, found.end()) << path;
        return it == found.end() ? nullptr : boost::dynamic_pointer_cast<CZelFSFile>(it->second);
    }

    // Restores to a new file: the result, the report and what was written.
    ZELRESULT Restore(const boost::shared_ptr<CZelFSFile>& file, CZelRestoreReport& report,
                      std::vector<uint8_t>& bytes)
    {
        const std::string out = dir.File("out" + std::to_string(restores++));
        ZELRESULT result = file ? file->RestoreEx(out.c_str(), {}, report) : ZEL_E_RESTOREREFUSED;
        bytes = jextest::ReadFile(out);
        exists = std::filesystem::exists(out);
        return result;
    }

    jextest::TempDir dir;
    std::string image;
    std::unique_ptr<ExfatImageEditor> edit;
    size_t slot = 0;
    uint32_t next = 0;
    int restores = 0;
    bool exists = false;
    boost::shared_ptr<CExfatEngine> engine = boost::make_shared<CExfatEngine>();
};

} // namespace

TEST_F(ExfatCrafted, OnlySetsThatHoldTogetherAreListed)
{
    const std::vector<uint8_t> good = PutFile(u"good.bin", 9000, 1);
    // Its checksum no longer agrees with a name changed after it.
    std::vector<uint8_t> broken = ExfatSetBytes(u"broken.bin", kArchive, next, 100, 100, true, true);
    broken[64 + 2] ^= 1;
    PutSet(broken);
    // A deleted three-entry set whose first two entries a live set took.
    PutSet(ExfatSetBytes(u"overwritten-by-a-longer-name.bin", kArchive, next, 100, 100, true, true));
    edit->PutInRoot(slot - 4, ExfatSetBytes(u"x", kArchive, 0, 0, 0, false, false));
    // A set that claims eighteen entries from the last slot of the root's
    // only cluster, whose chain ends there.
    std::vector<uint8_t> last = ExfatSetBytes(u"cut.bin", kArchive, next, 100, 100, true, true);
    last[1] = 18;
    edit->PutInRoot(edit->ClusterSize() / 32 - 1, std::vector<uint8_t>(last.begin(), last.begin() + 32));

    auto found = Scan();
    std::vector<std::string> paths;
    for (const auto& f : found)
        paths.push_back(f.first);
    EXPECT_EQ(paths, (std::vector<std::string>{"card.img/good.bin"}));
    CZelRestoreReport report;
    std::vector<uint8_t> bytes;
    EXPECT_EQ(Restore(File(found, "card.img/good.bin"), report, bytes), ZEL_S_OK) << ZelWideToNarrow(report.reason);
    EXPECT_EQ(report.verdict, ZelRestored);
    EXPECT_EQ(bytes, good);
}

TEST_F(ExfatCrafted, LoopingChainsEndTheWalkAndThePlan)
{
    // The root's chain comes back to itself, and a deleted folder's first
    // cluster is the root's: neither is read twice.
    edit->SetFat(edit->RootCluster(), edit->RootCluster());
    PutSet(ExfatSetBytes(u"self", kDirectory, edit->RootCluster(), 4096, 4096, false, true));
    // A deleted folder whose chain loops over two clusters, holding a file.
    const uint32_t a = next, b = next + 1;
    next += 3;
    edit->SetFat(a, b);
    edit->SetFat(b, a);
    PutSet(ExfatSetBytes(u"loop", kDirectory, a, 3 * 4096, 3 * 4096, false, true));
    const std::vector<uint8_t> inner = Content(3000, 7);
    const uint32_t innerCluster = next++;
    edit->Write(edit->ClusterOffset(innerCluster), inner);
    edit->Write(edit->ClusterOffset(b), ExfatSetBytes(u"inner.txt", kArchive, innerCluster, 3000, 3000, true, true));
    // A deleted file whose kept chain loops: what the chain gives, and why
    // the rest is not there.
    const uint32_t c = next, d = next + 1;
    next += 3;
    edit->SetFat(c, d);
    edit->SetFat(d, c);
    const std::vector<uint8_t> data = Content(4 * 4096, 9);
    edit->Write(edit->ClusterOffset(c), data);
    PutSet(ExfatSetBytes(u"looped.bin", kArchive, c, data.size(), data.size(), false, true));

    auto found = Scan();
    EXPECT_EQ(found.count("card.img/self"), 1u);
    EXPECT_EQ(found.count("card.img/loop"), 1u);
    CZelRestoreReport report;
    std::vector<uint8_t> bytes;
    EXPECT_EQ(Restore(File(found, "card.img/loop/inner.txt"), report, bytes), ZEL_S_OK);
    EXPECT_EQ(bytes, inner);

    auto looped = File(found, "card.img/looped.bin");
    ASSERT_TRUE(looped);
    EXPECT_LT(looped->GetRecoveryEstimate(), 100);
    EXPECT_EQ(Restore(looped, report, bytes), ZEL_S_PARTIAL);
    EXPECT_EQ(report.verdict, ZelRestoredPartly);
    EXPECT_NE(ZelWideToNarrow(report.reason).find("its chain comes back to cluster " + std::to_string(c)),
              std::string::npos)
        << ZelWideToNarrow(report.reason);
    // The two clusters the chain gives, and nothing after them.
    EXPECT_EQ(bytes, std::vector<uint8_t>(data.begin(), data.begin() + 2 * 4096));
    EXPECT_EQ(report.unreadableBytes, 2u * 4096);
}

TEST_F(ExfatCrafted, ABootSectorOutOfRangeIsRefusedUnlessItsBackupHolds)
{
    const std::vector<uint8_t> good = PutFile(u"photo.jpg", 5000, 3);
    // Sectors of 8 KiB: no exFAT volume has them.
    std::vector<uint8_t> shift = {13};
    edit->Write(108, shift);
    edit->ResealBoot();
    auto found = Scan();
    ASSERT_EQ(found.count("card.img/photo.jpg"), 1u) << "the backup region stands in for the main one";
    CZelRestoreReport report;
    std::vector<uint8_t> bytes;
    EXPECT_EQ(Restore(File(found, "card.img/photo.jpg"), report, bytes), ZEL_S_OK);
    EXPECT_EQ(bytes, good);

    // With the backup gone too, a quick search refuses the volume, saying
    // why; a deep search finds its layout from the root directory.
    std::vector<uint8_t> backup = edit->Read(0, 12 * 512);
    edit->Write(12 * 512, backup);
    Scan(-1, false);
    const std::string error = engine->GetLastError();
    EXPECT_EQ(error.rfind(image + ": not an exFAT volume (the main boot region: bytes per sector shift is 13; its "
                                  "backup: bytes per sector shift is 13)",
                          0),
              0u)
        << error;
    found = Scan();
    ASSERT_EQ(found.count("card.img/photo.jpg"), 1u);
    EXPECT_EQ(Restore(File(found, "card.img/photo.jpg"), report, bytes), ZEL_S_OK);
    EXPECT_EQ(bytes, good);
}

TEST_F(ExfatCrafted, ClustersTakenSinceDeletionAreNeverCalledTheFilesOwn)
{
    // A contiguous file whose second cluster another file holds now.
    const std::vector<uint8_t> middle = PutFile(u"middle.bin", 3 * 4096, 11);
    const uint32_t middleFirst = next - 4;
    edit->SetUsed(middleFirst + 1, true);
    // A chained one whose first cluster is taken: its chain is the new
    // owner's now.
    PutFile(u"gone.bin", 5000, 12, false);
    edit->SetUsed(next - 3, true);
    // Two deleted files that claim the same clusters: neither is sure.
    const uint32_t shared = next;
    edit->Write(edit->ClusterOffset(shared), Content(8192, 13));
    PutSet(ExfatSetBytes(u"one.bin", kArchive, shared, 8192, 8192, true, true));
    PutSet(ExfatSetBytes(u"two.bin", kArchive, shared, 8000, 8000, true, true));
    next += 3;
    // Valid data shorter than the file: the rest reads as zeros, and the
    // file is whole.
    const std::vector<uint8_t> valid = Content(5000, 14);
    edit->Write(edit->ClusterOffset(next), valid);
    PutSet(ExfatSetBytes(u"sparse.bin", kArchive, next, 5000, 12000, true, true));

    auto found = Scan();
    CZelRestoreReport report;
    std::vector<uint8_t> bytes;
    EXPECT_EQ(Restore(File(found, "card.img/middle.bin"), report, bytes), ZEL_S_PARTIAL);
    std::vector<uint8_t> expected = middle;
    std::fill(expected.begin() + 4096, expected.begin() + 8192, 0);
    EXPECT_EQ(bytes, expected);
    EXPECT_EQ(report.unreadableBytes, 4096u);
    EXPECT_NE(ZelWideToNarrow(report.reason).find("1 of its clusters are in use by other files now"), std::string::npos)
        << ZelWideToNarrow(report.reason);

    EXPECT_EQ(Restore(File(found, "card.img/gone.bin"), report, bytes), ZEL_E_ENGINE);
    EXPECT_EQ(report.verdict, ZelRestoreFailed);
    EXPECT_FALSE(exists) << "nothing is left under the name of a file that could not be read";
    EXPECT_EQ(ZelWideToNarrow(report.reason), "its first cluster is in use by another file now");

    for (const char* name : {"card.img/one.bin", "card.img/two.bin"}) {
        auto file = File(found, name);
        ASSERT_TRUE(file);
        EXPECT_EQ(file->GetRecoveryEstimate(), 0) << name;
        EXPECT_EQ(Restore(file, report, bytes), ZEL_S_PARTIAL) << name;
        EXPECT_NE(ZelWideToNarrow(report.reason).find("claimed by another deleted file too"), std::string::npos);
    }

    EXPECT_EQ(Restore(File(found, "card.img/sparse.bin"), report, bytes), ZEL_S_OK) << ZelWideToNarrow(report.reason);
    expected = valid;
    expected.resize(12000, 0);
    EXPECT_EQ(bytes, expected);
}

TEST_F(ExfatCrafted, NamesAreUtf8WithPairsJoinedAndWhatNoNameMayHoldReplaced)
{
    // "Straße 😀.txt", a lone surrogate, a slash, a step up.
    PutFile(u"Stra\u00dfe \U0001F600.txt", 10, 1);
    PutFile(std::u16string(u"a") + char16_t(0xD800) + u"b", 10, 2);
    PutFile(u"x/y", 10, 3);
    PutFile(u"..", 10, 4);
    // Fifteen characters fill a name entry exactly; 255 take seventeen.
    PutFile(std::u16string(255, u'n'), 10, 5);

    auto found = Scan();
    EXPECT_EQ(found.count("card.img/Stra\xc3\x9f" "e \xf0\x9f\x98\x80.txt"), 1u);
    EXPECT_EQ(found.count("card.img/a\xef\xbf\xbd" "b"), 1u);
    EXPECT_EQ(found.count("card.img/x_y"), 1u);
    EXPECT_EQ(found.count("card.img/__"), 1u);
    EXPECT_EQ(found.count("card.img/" + std::string(255, 'n')), 1u);
    EXPECT_EQ(found.size(), 5u);
}

TEST_F(ExfatCrafted, FoldersNestedPastTheDepthBoundEndThereAndTheRestIsAnOrphan)
{
    // Each folder's only cluster holds the next folder.
    const uint32_t first = next;
    constexpr uint32_t kLevels = 300;
    PutSet(ExfatSetBytes(u"d", kDirectory, first, 4096, 4096, true, true));
    for (uint32_t i = 0; i < kLevels; ++i) {
        std::vector<uint8_t> set = ExfatSetBytes(u"d", kDirectory, first + i + 1, 4096, 4096, true, true);
        if (i + 1 == kLevels)
            set = ExfatSetBytes(u"deep.txt", kArchive, first, 10, 10, true, true);
        edit->Write(edit->ClusterOffset(first + i), set);
    }
    auto found = Scan();
    // No path holds more folders than the bound; the clusters the walk left
    // unread are found among the free ones, each read once, under
    // $OrphanFiles.
    size_t deepest = 0, deep = 0;
    for (const auto& f : found) {
        size_t folders = 0;
        for (size_t at = f.first.find("/d/"); at != std::string::npos; at = f.first.find("/d/", at + 2))
            ++folders;
        deepest = std::max(deepest, folders);
        deep += f.first.find("deep.txt") != std::string::npos ? 1 : 0;
    }
    EXPECT_LE(deepest, static_cast<size_t>(CExfatScanner::kMaxDepth));
    EXPECT_EQ(deep, 1u);
    EXPECT_EQ(found.count("card.img/$OrphanFiles"), 1u);
    // Every folder once, the file, and the orphans' folder.
    EXPECT_EQ(found.size(), kLevels + 1 + 1);
}

TEST_F(ExfatCrafted, UnreadableSectorsArePassedOverCountedAndNeverCalledData)
{
    const std::vector<uint8_t> photo = PutFile(u"photo.jpg", 3 * 4096, 41);
    const uint64_t photoAt = edit->ClusterOffset(next - 4);
    // A deleted folder whose only cluster cannot be read.
    const uint32_t folder = next++;
    edit->Write(edit->ClusterOffset(folder), ExfatSetBytes(u"lost.txt", kArchive, next, 10, 10, true, true));
    PutSet(ExfatSetBytes(u"Ordner", kDirectory, folder, 4096, 4096, true, true));

    jextest::FaultyOpener opener([&](jextest::FaultySource& source) {
        source.FailAt(photoAt + 4096 + 512, 512);
        source.FailAt(edit->ClusterOffset(folder), 4096);
    });
    engine->SetVolumeOpener(opener.Opener());
    auto found = Scan();
    EXPECT_EQ(found.count("card.img/Ordner"), 1u);
    EXPECT_EQ(found.count("card.img/Ordner/lost.txt"), 0u);
    // The folder's cluster, and the photo's among the free clusters
    // searched for lost folders.
    EXPECT_EQ(engine->GetUnreadableCount(), 2u);
    EXPECT_EQ(engine->GetUnreadableBytes(), 2u * 4096);

    CZelRestoreReport report;
    std::vector<uint8_t> bytes;
    EXPECT_EQ(Restore(File(found, "card.img/photo.jpg"), report, bytes), ZEL_S_PARTIAL);
    EXPECT_EQ(report.unreadableBytes, 512u);
    std::vector<uint8_t> expected = photo;
    std::fill(expected.begin() + 4096 + 512, expected.begin() + 4096 + 1024, 0);
    EXPECT_EQ(bytes, expected);
    EXPECT_NE(ZelWideToNarrow(report.reason).find("512 bytes could not be read (Input/output error)"), std::string::npos)
        << ZelWideToNarrow(report.reason);

    // A device that goes away ends the scan with the reason.
    jextest::FaultyOpener gone([](jextest::FaultySource& source) { source.VanishAfter(3); });
    engine->SetVolumeOpener(gone.Opener());
    Scan(-1);
    EXPECT_NE(engine->GetLastError().find("the device is gone"), std::string::npos) << engine->GetLastError();
}

TEST_F(ExfatCrafted, AClearedFoldersLaterClustersAreFoundAndProvenByTheSetThatSpansThem)
{
    // A deleted folder of two clusters whose chain was cleared: its first
    // cluster ends with the first two entries of a set whose name entry
    // starts its second cluster, far away.
    const uint32_t first = next, second = next + 20, stray = next + 30;
    next += 40;
    PutSet(ExfatSetBytes(u"Ordner", kDirectory, first, 8192, 8192, false, true));
    std::vector<uint8_t> cluster;
    for (int i = 0; i < 42; ++i) {
        std::string name = "f" + std::to_string(100 + i) + ".bin";
        std::vector<uint8_t> set =
            ExfatSetBytes(std::u16string(name.begin(), name.end()), kArchive, 0, 0, 0, false, true);
        cluster.insert(cluster.end(), set.begin(), set.end());
    }
    const std::vector<uint8_t> data = Content(3000, 51);
    const uint32_t dataCluster = next++;
    edit->Write(edit->ClusterOffset(dataCluster), data);
    std::vector<uint8_t> spanning = ExfatSetBytes(u"spanning.txt", kArchive, dataCluster, 3000, 3000, true, true);
    cluster.insert(cluster.end(), spanning.begin(), spanning.begin() + 64);
    ASSERT_EQ(cluster.size(), 4096u);
    edit->Write(edit->ClusterOffset(first), cluster);
    std::vector<uint8_t> rest(spanning.begin() + 64, spanning.end());
    std::vector<uint8_t> after = ExfatSetBytes(u"after.txt", kArchive, 0, 0, 0, false, true);
    rest.insert(rest.end(), after.begin(), after.end());
    edit->Write(edit->ClusterOffset(second), rest);
    // A free cluster that starts with a set of its own: nothing proves
    // whose folder it was.
    edit->Write(edit->ClusterOffset(stray), ExfatSetBytes(u"stray.txt", kArchive, 0, 0, 0, false, true));

    auto found = Scan();
    EXPECT_EQ(found.count("card.img/Ordner/f100.bin"), 1u);
    EXPECT_EQ(found.count("card.img/Ordner/f141.bin"), 1u);
    EXPECT_EQ(found.count("card.img/Ordner/after.txt"), 1u);
    EXPECT_EQ(found.count("card.img/$OrphanFiles/stray.txt"), 1u);
    EXPECT_TRUE(found.count("card.img/$OrphanFiles") == 1u && found["card.img/$OrphanFiles"]->IsDeleted());
    CZelRestoreReport report;
    std::vector<uint8_t> bytes;
    EXPECT_EQ(Restore(File(found, "card.img/Ordner/spanning.txt"), report, bytes), ZEL_S_OK);
    EXPECT_EQ(bytes, data);
    EXPECT_EQ(found.size(), 1u + 42 + 2 + 2);
}

TEST_F(ExfatCrafted, WhatTheVolumeCannotVouchForIsNeverCalledWhole)
{
    // A file larger than the whole heap is no file of this volume.
    PutSet(ExfatSetBytes(u"huge.bin", kArchive, next, 0, uint64_t(1) << 62, true, true));
    // A deleted folder's entries lie where a deleted file's data was.
    const uint32_t folder = next;
    const std::vector<uint8_t> file = PutFile(u"under.bin", 2 * 4096, 61);
    edit->Write(edit->ClusterOffset(folder + 1), ExfatSetBytes(u"inner.txt", kArchive, 0, 0, 0, false, true));
    PutSet(ExfatSetBytes(u"Ordner", kDirectory, folder + 1, 4096, 4096, true, true));
    const std::vector<uint8_t> sound = PutFile(u"sound.bin", 3 * 4096, 62);

    auto found = Scan();
    EXPECT_EQ(found.count("card.img/huge.bin"), 0u);
    EXPECT_EQ(found.count("card.img/Ordner/inner.txt"), 1u);
    auto under = File(found, "card.img/under.bin");
    ASSERT_TRUE(under);
    EXPECT_EQ(under->GetRecoveryEstimate(), 50);
    CZelRestoreReport report;
    std::vector<uint8_t> bytes;
    EXPECT_EQ(Restore(under, report, bytes), ZEL_S_PARTIAL);
    EXPECT_NE(ZelWideToNarrow(report.reason).find("1 of its clusters hold a deleted folder's entries"),
              std::string::npos)
        << ZelWideToNarrow(report.reason);
    EXPECT_EQ(File(found, "card.img/sound.bin")->GetRecoveryEstimate(), 100);

    // With a bitmap entry that names no cluster of the heap nothing can be
    // told free: no file is whole, though its bytes are read.
    const uint64_t root = edit->ClusterOffset(edit->RootCluster());
    std::vector<uint8_t> entries = edit->Read(root, 4096);
    size_t slot81 = 0;
    while (slot81 < 128 && entries[slot81 * 32] != 0x81)
        ++slot81;
    ASSERT_LT(slot81, 128u);
    edit->Write(root + slot81 * 32 + 20, {1, 0, 0, 0});
    found = Scan();
    auto unsure = File(found, "card.img/sound.bin");
    ASSERT_TRUE(unsure);
    EXPECT_EQ(unsure->GetRecoveryEstimate(), 0);
    EXPECT_EQ(Restore(unsure, report, bytes), ZEL_S_PARTIAL);
    EXPECT_EQ(bytes, sound);
    EXPECT_NE(ZelWideToNarrow(report.reason).find("cannot be told free by the allocation bitmap"), std::string::npos);
}
