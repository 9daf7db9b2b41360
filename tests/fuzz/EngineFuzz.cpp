#include "EngineFuzz.h"

#include "FuzzSupport.h"
#include "MemorySource.h"
#include "jexcommon/ZelText.h"
#include "jexfscore/ZelEntries.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace jexfuzz {

namespace {

struct Listed {
    std::string path;
    uint64_t size = 0;
    bool directory = false;
    bool operator==(const Listed& other) const
    {
        return path == other.path && size == other.size && directory == other.directory;
    }
};

// At most this many files are restored from one input, so that no input
// takes long; and a volume is at most this large for the checks on what
// a restore may write (a compression unit of 16 clusters can lie in one).
constexpr size_t kMaxRestores = 64;
constexpr uint64_t kCompressionRatio = 16;

std::vector<Listed> Scan(const boost::shared_ptr<CZelEngine>& engine, const uint8_t* data, size_t size,
                         std::vector<boost::shared_ptr<CZelFSFile>>* files)
{
    std::vector<Listed> listed;
    engine->SetVolumeOpener(MemoryOpener(data, size));
    if (engine->Open("fuzz.img", 512) != 0)
        return listed;
    // The deep search: the quick one's walk, then the free space.
    engine->FindDeleted("fuzz.img", 1, nullptr, true);
    auto it = engine->GetIterator();
    if (!it)
        return listed;
    for (it->First(); !it->IsDone(); it->Next()) {
        auto entry = it->CurrentItem();
        if (!entry)
            continue;
        Listed item;
        item.path = ZelWideToNarrow(entry->GetPath());
        item.directory = entry->GetType() == ZelEntryDirectory;
        if (auto file = boost::dynamic_pointer_cast<CZelFSFile>(entry)) {
            item.size = file->GetSize();
            if (files != nullptr)
                files->push_back(file);
        }
        listed.push_back(item);
    }
    return listed;
}

} // namespace

void ScanAndRestore(const boost::shared_ptr<CZelEngine>& engine, const uint8_t* data, size_t size)
{
    std::vector<boost::shared_ptr<CZelFSFile>> files;
    const std::vector<Listed> first = Scan(engine, data, size, &files);

    // Each file into a fresh folder below the temporary one.
    const std::string out = TemporaryFolder() + "/run";
    std::error_code ignored;
    std::filesystem::remove_all(out, ignored);
    std::filesystem::create_directory(out, ignored);
    for (size_t i = 0; i < files.size() && i < kMaxRestores; ++i) {
        const std::string destination = out + "/" + std::to_string(i);
        CZelRestoreReport report;
        files[i]->RestoreEx(destination.c_str(), {}, report);
    }
    // Nothing outside it, and nothing larger than the volume could hold.
    const uint64_t largest = static_cast<uint64_t>(size) * kCompressionRatio;
    for (const auto& item : std::filesystem::recursive_directory_iterator(TemporaryFolder(), ignored)) {
        const std::string path = item.path().string();
        Require(path == out || path.rfind(out + "/", 0) == 0, "written outside the destination: " + path);
        if (item.is_regular_file(ignored))
            Require(item.file_size(ignored) <= largest,
                    path + " is " + std::to_string(item.file_size(ignored)) + " bytes from a volume of " +
                        std::to_string(size));
    }
    std::filesystem::remove_all(out, ignored);
    files.clear();

    // The same bytes give the same list.
    const std::vector<Listed> second = Scan(engine, data, size, nullptr);
    Require(first == second, "a second scan of the same bytes found something else");
    engine->Close();
}

} // namespace jexfuzz
