#include "Recovery.h"

#include "Categories.h"
#include "jexfscore/ZelText.h"

#include <boost/make_shared.hpp>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

std::mutex g_MessageLock;
std::vector<std::string> g_Messages;

void KeepMessage(const wchar_t* text, const wchar_t* /*caption*/)
{
    std::lock_guard<std::mutex> lock(g_MessageLock);
    g_Messages.push_back(ZelWideToNarrow(text != nullptr ? text : L""));
}

std::string Narrow(const std::wstring& text)
{
    return ZelWideToNarrow(text);
}

// Restore progress of one file, shown on standard error.
class CProgressLine {
public:
    CProgressLine(size_t number, size_t total, const std::string& name)
        : m_Number(number), m_Total(total), m_Name(name)
    {
    }
    void Fire(double fraction)
    {
        int percent = static_cast<int>(fraction * 100.0 + 0.5);
        if (percent == m_Shown)
            return;
        m_Shown = percent;
        std::fprintf(stderr, "\r\033[K[%zu/%zu] %s %3d%%", m_Number, m_Total, m_Name.c_str(), percent);
        std::fflush(stderr);
    }

private:
    size_t m_Number, m_Total;
    std::string m_Name;
    int m_Shown = -1;
};

} // namespace

bool ZelBindCore(CZelCoreBinding& core, std::string& error)
{
    if (!core.Load(error))
        return false;
    core.SetMessageHandler(&KeepMessage);
    return true;
}

std::vector<std::string> ZelTakeCoreMessages()
{
    std::lock_guard<std::mutex> lock(g_MessageLock);
    std::vector<std::string> taken;
    taken.swap(g_Messages);
    return taken;
}

bool ZelBuildFilter(CZelCreator& creator, const CRecoverOptions& options, const std::string& programFolder,
                    boost::shared_ptr<CZelCheckFile>& filter, std::string& error)
{
    filter.reset();
    bool byExtension = !options.categories.empty() || !options.extensions.empty();
    if (!byExtension && !options.hasMinSize && !options.hasMaxSize)
        return true;
    boost::shared_ptr<CZelCheckFileCreator> factory = creator.CreateCheckFileCreator();
    if (!factory) {
        error = "the core makes no filters";
        return false;
    }
    boost::shared_ptr<CZelCheckFile> group = factory->CreateCheckFile(ZelCheckFileAnd);
    if (byExtension) {
        // Categories and own extensions together make one list: a file of
        // any of them is found.
        boost::shared_ptr<CZelCheckFile> list = factory->CreateCheckFile(ZelCheckFileExtensions);
        std::vector<std::wstring> extensions;
        if (!options.categories.empty()) {
            std::map<std::string, std::vector<std::string>> categories;
            if (!ZelReadCategories(programFolder, categories, error))
                return false;
            for (const std::string& category : options.categories)
                for (const std::string& extension : categories[category])
                    extensions.push_back(ZelNarrowToWide(extension));
        }
        for (const std::string& extension : options.extensions)
            extensions.push_back(ZelNarrowToWide(extension));
        for (const std::wstring& extension : extensions)
            list->SetParam(L"Add", extension.c_str());
        group->SetParam(L"Add", list);
    }
    if (options.hasMinSize || options.hasMaxSize) {
        // The filter's bounds are exclusive, the user's inclusive.
        boost::shared_ptr<CZelCheckFile> size = factory->CreateCheckFile(ZelCheckFileSizeRange);
        if (options.hasMinSize && options.minSize > 0)
            size->SetParam(L"Min", uint64_t(options.minSize - 1));
        if (options.hasMaxSize && options.maxSize < UINT64_MAX)
            size->SetParam(L"Max", uint64_t(options.maxSize + 1));
        group->SetParam(L"Add", size);
    }
    filter = group;
    return true;
}

CScanResult ZelScanVolume(CZelCoreBinding& core, const std::string& volume, boost::shared_ptr<CZelCheckFile> filter,
                          bool showProgress)
{
    CScanResult result;
    std::wstring text = ZelNarrowToWide(volume);
    result.fileSystem = core.GetFileSystemCreator()->CreateFileSystem(text.c_str());
    if (!result.fileSystem)
        return result;
    boost::shared_ptr<CZelFileSystem> fs = result.fileSystem;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        fs->Open(text.c_str(), 0);
        fs->FindDeleted(text.c_str(), 1, filter);
        done = true;
    });
    int shown = -1;
    while (!done) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        int percent = static_cast<int>(fs->GetProgress() * 100.0);
        if (showProgress && percent != shown) {
            shown = percent;
            std::fprintf(stderr, "\r\033[KSearching %s: %3d%%", volume.c_str(), percent);
            std::fflush(stderr);
        }
    }
    worker.join();
    if (showProgress && shown >= 0)
        std::fprintf(stderr, "\r\033[K");
    std::vector<std::string> messages = ZelTakeCoreMessages();
    if (!messages.empty()) {
        result.error = messages.front();
        return result;
    }
    boost::shared_ptr<CZelEntityIterator> it = fs->GetIterator();
    uint64_t position = 0;
    for (it->First(); !it->IsDone(); it->Next(), ++position) {
        boost::shared_ptr<CZelFSFileEntry> entry = it->CurrentItem();
        if (!entry)
            continue;
        CFoundEntry found;
        found.index = position;
        found.directory = entry->GetType() == ZelEntryDirectory;
        found.name = Narrow(entry->GetName());
        found.path = Narrow(entry->GetPath());
        if (auto file = boost::dynamic_pointer_cast<CZelFSFile>(entry))
            found.size = file->GetSize();
        found.deleted = entry->IsDeleted();
        found.entry = entry;
        result.entries.push_back(std::move(found));
    }
    result.ok = true;
    return result;
}

namespace {

// The longest file name the usual file systems take, in bytes.
constexpr size_t kMaxNameBytes = 255;

// Cuts text to at most bytes bytes without splitting a UTF-8 character.
std::string CutUtf8(const std::string& text, size_t bytes)
{
    if (text.size() <= bytes)
        return text;
    size_t end = bytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end);
}

// name split before its extension (the dot stays with the extension).
void SplitExtension(const std::string& name, std::string& stem, std::string& extension)
{
    size_t dot = name.find_last_of('.');
    bool has = dot != std::string::npos && dot != 0 && name.size() - dot <= 16;
    stem = has ? name.substr(0, dot) : name;
    extension = has ? name.substr(dot) : "";
}

// stem + suffix + extension within the name length limit, the stem cut
// as needed.
std::string Compose(const std::string& stem, const std::string& suffix, const std::string& extension)
{
    size_t room = kMaxNameBytes - suffix.size() - extension.size();
    return CutUtf8(stem, room) + suffix + extension;
}

} // namespace

std::string ZelSafeName(const std::string& name)
{
    std::string safe;
    for (unsigned char c : name)
        safe.push_back(c < 0x20 || c == 0x7F || c == '/' ? '_' : static_cast<char>(c));
    if (safe.empty() || safe == "." || safe == "..")
        safe = std::string(safe.size() + 1, '_');
    std::string stem, extension;
    SplitExtension(safe, stem, extension);
    return Compose(stem, "", extension);
}

std::string ZelFreeName(const std::string& folder, const std::string& name)
{
    std::error_code failed;
    if (!std::filesystem::exists(std::filesystem::path(folder) / name, failed) && !failed)
        return name;
    std::string stem, extension;
    SplitExtension(name, stem, extension);
    for (unsigned n = 1; n < 100000; ++n) {
        std::string candidate = Compose(stem, " (" + std::to_string(n) + ")", extension);
        failed.clear();
        bool taken = std::filesystem::exists(std::filesystem::path(folder) / candidate, failed);
        // A name the folder cannot even be asked about is given back; the
        // restore then reports why it cannot be written.
        if (!taken || failed)
            return candidate;
    }
    return name;
}

std::string ZelPrintable(const std::string& text)
{
    std::string out;
    for (unsigned char c : text)
        out.push_back(c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c));
    return out;
}

std::vector<CRestoreOutcome> ZelRestoreEntries(const std::vector<const CFoundEntry*>& chosen,
                                               const std::string& destination, bool flat, bool showProgress)
{
    std::vector<CRestoreOutcome> outcomes;
    size_t number = 0;
    for (const CFoundEntry* found : chosen) {
        ++number;
        CRestoreOutcome outcome;
        outcome.source = found->path;
        auto file = boost::dynamic_pointer_cast<CZelFSFile>(found->entry);
        // The folders of the file below the volume's root, each made safe.
        std::filesystem::path folder = destination;
        if (!flat) {
            std::vector<std::string> parts;
            size_t start = 0;
            while (start <= found->path.size()) {
                size_t slash = found->path.find('/', start);
                if (slash == std::string::npos)
                    slash = found->path.size();
                parts.push_back(found->path.substr(start, slash - start));
                start = slash + 1;
            }
            for (size_t i = 1; i + 1 < parts.size(); ++i)
                folder /= ZelSafeName(parts[i]);
        }
        std::error_code failed;
        std::filesystem::create_directories(folder, failed);
        if (failed) {
            outcome.result = "failed";
            outcome.reason = folder.string() + ": " + failed.message();
            outcomes.push_back(outcome);
            continue;
        }
        std::string name = ZelFreeName(folder.string(), ZelSafeName(found->name));
        outcome.destination = (folder / name).string();
        boost::shared_ptr<CZelProgressCallback> progress = ZelDefaultProgressCallback;
        std::shared_ptr<CProgressLine> line;
        if (showProgress) {
            line = std::make_shared<CProgressLine>(number, chosen.size(), name);
            progress = boost::make_shared<CZelCallbackWrapperRT<CProgressLine, void, double>>(&CProgressLine::Fire,
                                                                                            line.get());
        }
        ZELRESULT result = file ? file->RestoreA(outcome.destination.c_str(), progress) : ZEL_E_RESTOREREFUSED;
        if (result == ZEL_S_OK) {
            outcome.result = "restored";
        } else {
            outcome.result = "failed";
            outcome.reason = result == ZEL_E_RESTOREREFUSED ? "the volume no longer holds this file"
                                                            : "the file could not be written or read";
        }
        outcomes.push_back(outcome);
    }
    if (showProgress && !chosen.empty())
        std::fprintf(stderr, "\r\033[K");
    return outcomes;
}
