#include "support/ExportCore.h"

#include "jexcommon/ZelText.h"
#include "support/TestImages.h"

#include <gtest/gtest.h>

#include <mutex>

namespace jextest {

namespace {

std::mutex g_CaptureLock;
std::vector<CapturedMessage> g_Captured;

void Capture(const wchar_t* text, const wchar_t* caption)
{
    std::lock_guard<std::mutex> lock(g_CaptureLock);
    g_Captured.push_back({text != nullptr ? text : L"", caption != nullptr ? caption : L""});
}

} // namespace

const CZelCoreBinding& BoundCore()
{
    static CZelCoreBinding core;
    static bool loaded = [] {
        std::string error;
        bool ok = core.LoadFrom(JEX_BIN_DIR, error);
        if (!ok)
            ADD_FAILURE() << error;
        return ok;
    }();
    (void)loaded;
    return core;
}

ScopedMessageCapture::ScopedMessageCapture()
{
    {
        std::lock_guard<std::mutex> lock(g_CaptureLock);
        g_Captured.clear();
    }
    BoundCore().SetMessageHandler(&Capture);
}

ScopedMessageCapture::~ScopedMessageCapture()
{
    BoundCore().SetMessageHandler(nullptr);
}

std::vector<CapturedMessage> ScopedMessageCapture::Messages() const
{
    std::lock_guard<std::mutex> lock(g_CaptureLock);
    return g_Captured;
}

ExportScan::ExportScan(const std::string& image, boost::shared_ptr<CZelCheckFile> filter, bool deep, int32_t more)
{
    volume = ZelNarrowToWide(image);
    std::wstring reason;
    fs = deep ? BoundCore().GetFileSystemCreator()->CreateFileSystemForDeepSearch(volume.c_str(), reason)
              : BoundCore().GetFileSystemCreator()->CreateFileSystem(volume.c_str());
    EXPECT_TRUE(fs) << image;
    if (!fs)
        return;
    EXPECT_EQ(fs->Open(volume.c_str(), 0), ZEL_S_OK);
    EXPECT_EQ(fs->FindDeletedEx(volume.c_str(), (deep ? 1 | kZelSearchDeep : 1) | more, filter, report), ZEL_S_OK)
        << ZelWideToNarrow(report.reason);
    progress = fs->GetProgress();
    auto it = fs->GetIterator();
    for (it->First(); !it->IsDone(); it->Next()) {
        auto entry = it->CurrentItem();
        if (!entry)
            continue;
        std::string path = ZelWideToNarrow(entry->GetPath());
        found[path] = entry;
        order.push_back(path);
    }
}

boost::shared_ptr<CZelFSFile> ExportScan::File(const std::string& path) const
{
    auto it = found.find(path);
    EXPECT_NE(it, found.end()) << path;
    return it == found.end() ? nullptr : boost::dynamic_pointer_cast<CZelFSFile>(it->second);
}

size_t ExportScan::Files() const
{
    size_t n = 0;
    for (const auto& f : found)
        n += f.second->GetType() == ZelEntryFile;
    return n;
}

std::vector<uint8_t> Restore(const boost::shared_ptr<CZelFSFile>& file, const std::string& destination,
                             ZELRESULT expected)
{
    if (!file)
        return {};
    EXPECT_EQ(file->RestoreA(destination.c_str(), ZelDefaultProgressCallback), expected) << destination;
    return ReadFile(destination);
}

} // namespace jextest
