// jexrecover: finds deleted files on FAT32 and NTFS volumes and copies them
// out, from the command line. It loads libJexFSCore.so (and libJexVars.so
// for the categories) from its own folder and uses the core through its
// exports alone.

#include "Categories.h"
#include "Json.h"
#include "Options.h"
#include "jexcommon/ZelText.h"
#include "jexcommon/ZelVersion.h"
#include "jexfscore/ZelBinding.h"
#include "jexplatform/BlockDevices.h"
#include "jexplatform/DeviceFile.h"
#include "jexplatform/PartitionTable.h"
#include "jexplatform/VolumeAccess.h"
#include "jexrecovery/ZelDestination.h"
#include "jexrecovery/ZelFilterRequest.h"
#include "jexrecovery/ZelRecoveryScan.h"
#include "jexrecovery/ZelRestoreRun.h"
#include "jexrecovery/ZelSelection.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <unistd.h>

namespace {

constexpr int kDone = 0, kSomeFailed = 1, kCannot = 2;

// text with control characters shown as "?", for the terminal.
std::string Printable(const std::string& text)
{
    std::string out;
    for (unsigned char c : text)
        out.push_back(c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c));
    return out;
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "jexrecover: %s\n", Printable(message).c_str());
    return kCannot;
}

std::string HumanSize(uint64_t bytes)
{
    const char* units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1024 && unit < 4) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
    return text;
}

bool ShowProgress(const CRecoverOptions& options)
{
    return !options.quiet && ::isatty(STDERR_FILENO);
}

// The partitions of a whole-disk image or device, with the volume text
// that names each and the file system it holds.
struct CListedPartition {
    std::string volume;
    CZelPartition partition;
    std::string fileSystem;
    bool searchable = false;
};

bool ReadPartitions(const CZelCoreBinding& core, const std::string& image, std::vector<CListedPartition>& listed,
                    std::string& error)
{
    CZelDeviceFile disk;
    if (!disk.Open(image, error)) {
        error = image + ": " + error;
        return false;
    }
    std::string table;
    for (const CZelPartition& partition : ZelListPartitions(disk.Descriptor(), disk.Size(), table)) {
        if (partition.extended)
            continue;
        CListedPartition entry;
        entry.volume = image + "@p" + std::to_string(partition.number);
        entry.partition = partition;
        entry.fileSystem = ZelWideToNarrow(ZelDescribeVolume(entry.volume, partition.length).fileSystemName);
        std::wstring reason;
        entry.searchable =
            static_cast<bool>(core.GetFileSystemCreator()->CreateFileSystemEx(ZelNarrowToWide(entry.volume).c_str(), reason));
        listed.push_back(entry);
    }
    return true;
}

void PrintPartitions(const std::vector<CListedPartition>& listed, bool json, FILE* out)
{
    std::vector<CZelJsonObject> objects;
    for (const CListedPartition& p : listed) {
        if (json)
            objects.push_back(CZelJsonObject()
                                  .Add("volume", p.volume)
                                  .Add("start", p.partition.offset)
                                  .Add("size", p.partition.length)
                                  .Add("fileSystem", p.fileSystem)
                                  .Add("searchable", p.searchable));
        else
            std::fprintf(out, "%-32s start %12llu  %10s  %s\n", p.volume.c_str(),
                         static_cast<unsigned long long>(p.partition.offset), HumanSize(p.partition.length).c_str(),
                         p.fileSystem.empty() ? "-" : p.fileSystem.c_str());
    }
    if (json)
        ZelPrintJsonArray(objects);
}

int ListVolumes(const CZelCoreBinding& core, const CRecoverOptions& options)
{
    // An image or a whole disk named: its partitions.
    if (!options.volume.empty()) {
        std::vector<CListedPartition> listed;
        std::string error;
        if (!ReadPartitions(core, options.volume, listed, error))
            return Fail(error);
        if (listed.empty())
            return Fail(options.volume + ": holds no partition table");
        PrintPartitions(listed, options.json, stdout);
        return kDone;
    }
    boost::shared_ptr<CZelVolumeEnum> volumes = core.GetCreator()->CreateVolumeEnum();
    if (!volumes)
        return Fail("the volumes of this machine cannot be listed");
    std::vector<CZelJsonObject> listed;
    auto it = volumes->GetVolumeInfoIterator();
    for (it->First(); !it->IsDone(); it->Next()) {
        auto volume = it->CurrentItem();
        if (!volume)
            continue;
        std::string root = ZelWideToNarrow(volume->GetRootPath());
        std::string name = ZelWideToNarrow(volume->GetFileSystemName());
        if (options.json)
            listed.push_back(CZelJsonObject().Add("root", root).Add("fileSystem", name).Add("size", volume->GetSize()));
        else
            std::printf("%-24s %-8s %12s  (%llu bytes)\n", root.c_str(), name.empty() ? "-" : name.c_str(),
                        HumanSize(volume->GetSize()).c_str(), static_cast<unsigned long long>(volume->GetSize()));
    }
    if (options.json)
        ZelPrintJsonArray(listed);
    return kDone;
}

// The filter the options ask for: categories and own extensions make one
// list, with the size range.
bool BuildFilter(CZelCreator& creator, const CRecoverOptions& options, boost::shared_ptr<CZelCheckFile>& filter,
                 std::string& error)
{
    CZelFilterRequest request;
    request.byExtension = !options.categories.empty() || !options.extensions.empty();
    if (!options.categories.empty()) {
        std::map<std::string, std::vector<std::string>> categories;
        if (!ZelReadCategories(ZelProgramFolder(), categories, error))
            return false;
        for (const std::string& category : options.categories)
            for (const std::string& extension : categories[category])
                request.extensions.push_back(ZelNarrowToWide(extension));
    }
    for (const std::string& extension : options.extensions)
        request.extensions.push_back(ZelNarrowToWide(extension));
    request.hasMinSize = options.hasMinSize;
    request.minSize = options.minSize;
    request.hasMaxSize = options.hasMaxSize;
    request.maxSize = options.maxSize;
    error.clear();
    filter = ZelBuildFilter(creator, request, error);
    return error.empty();
}

// Scans the volume the options name, showing progress on a terminal.
bool Search(const CZelCoreBinding& core, const CRecoverOptions& options, CZelRecoveryScan& scan, std::string& error)
{
    boost::shared_ptr<CZelCheckFile> filter;
    if (!BuildFilter(*core.GetCreator(), options, filter, error) || !scan.Prepare(options.volume, error))
        return false;
    bool show = ShowProgress(options);
    int shown = -1;
    bool ok = scan.SearchShowingProgress(filter, error, [&](double progress) {
        int percent = static_cast<int>(progress * 100.0);
        if (show && percent != shown) {
            shown = percent;
            std::fprintf(stderr, "\r\033[KSearching %s: %3d%%", options.volume.c_str(), percent);
            std::fflush(stderr);
        }
    });
    if (show && shown >= 0)
        std::fprintf(stderr, "\r\033[K");
    return ok;
}

// "; 3 stretches of it could not be read", or nothing when all could be.
std::string UnreadableNote(const CZelRecoveryScan& scan)
{
    uint64_t count = scan.UnreadableStretches();
    if (count == 0)
        return std::string();
    return "; " + std::to_string(count) + (count == 1 ? " stretch" : " stretches") +
           " of it could not be read and " + (count == 1 ? "was" : "were") + " passed over";
}

int ScanCommand(const CRecoverOptions& options, const CZelRecoveryScan& scan)
{
    if (options.json) {
        std::vector<CZelJsonObject> entries;
        for (const CZelFoundEntry& e : scan.Found())
            entries.push_back(CZelJsonObject()
                                  .Add("index", e.index)
                                  .Add("type", e.directory ? "directory" : "file")
                                  .Add("name", e.name)
                                  .Add("path", e.path)
                                  .Add("size", e.size)
                                  .Add("deleted", e.deleted)
                                  .AddPercent("chance", e.estimate));
        ZelPrintJsonArray(entries);
        if (!options.quiet && scan.UnreadableStretches() != 0)
            std::fprintf(stderr, "jexrecover: %s%s\n", options.volume.c_str(), UnreadableNote(scan).c_str());
        return kDone;
    }
    size_t files = 0;
    for (const CZelFoundEntry& e : scan.Found()) {
        if (e.directory)
            continue;
        ++files;
        // The recovery estimate, "-" where the engine gives none.
        char chance[16] = "-";
        if (e.estimate >= 0)
            std::snprintf(chance, sizeof chance, "%d%%", e.estimate);
        std::printf("%6llu %14llu %5s  %s\n", static_cast<unsigned long long>(e.index),
                    static_cast<unsigned long long>(e.size), chance, Printable(e.path).c_str());
    }
    if (!options.quiet)
        std::fprintf(stderr, "%zu deleted file%s found on %s%s\n", files, files == 1 ? "" : "s", options.volume.c_str(),
                     UnreadableNote(scan).c_str());
    return kDone;
}

// Restore progress of each file, on a terminal.
class CProgressLine : public CZelRestoreObserver {
public:
    void Begin(size_t number, size_t total, const std::string& name) override
    {
        m_Number = number;
        m_Total = total;
        m_Name = name;
        m_Shown = -1;
    }
    void Progress(double fraction) override
    {
        int percent = static_cast<int>(fraction * 100.0 + 0.5);
        if (percent == m_Shown)
            return;
        m_Shown = percent;
        std::fprintf(stderr, "\r\033[K[%zu/%zu] %s %3d%%", m_Number, m_Total, m_Name.c_str(), percent);
        std::fflush(stderr);
    }

private:
    size_t m_Number = 0, m_Total = 0;
    std::string m_Name;
    int m_Shown = -1;
};

int RestoreCommand(const CRecoverOptions& options, const CZelRecoveryScan& scan)
{
    CZelSelection selection =
        options.all ? ZelSelectAll(scan.Found()) : ZelSelectIndexes(scan.Found(), options.indexes);
    if (!options.json)
        for (const CZelRestoreOutcome& skipped : selection.skipped)
            std::fprintf(stderr, "jexrecover: %s\n", skipped.reason.c_str());

    CProgressLine line;
    bool show = ShowProgress(options);
    std::vector<CZelRestoreOutcome> outcomes =
        ZelRestoreFiles(selection.files, options.destination, options.flat, show ? &line : nullptr);
    if (show && !selection.files.empty())
        std::fprintf(stderr, "\r\033[K");
    size_t restored = 0, partial = 0, failed = 0;
    for (const CZelRestoreOutcome& o : outcomes) {
        if (o.result == ZelRestoreResult::Restored) {
            ++restored;
            continue;
        }
        if (o.result == ZelRestoreResult::Partial)
            ++partial;
        else
            ++failed;
        if (!options.json)
            std::fprintf(stderr, "jexrecover: %s: %s%s\n", Printable(o.source).c_str(),
                         o.result == ZelRestoreResult::Partial ? "partly restored: " : "", Printable(o.reason).c_str());
    }
    if (!options.quiet && scan.UnreadableStretches() != 0)
        std::fprintf(stderr, "jexrecover: %s%s\n", options.volume.c_str(), UnreadableNote(scan).c_str());
    outcomes.insert(outcomes.end(), selection.skipped.begin(), selection.skipped.end());
    if (options.json) {
        std::vector<CZelJsonObject> listed;
        for (const CZelRestoreOutcome& o : outcomes) {
            CZelJsonObject object;
            object.Add("source", o.source).Add("destination", o.destination).Add("result", ZelRestoreResultName(o.result));
            if (!o.reason.empty())
                object.Add("reason", o.reason);
            if (o.result == ZelRestoreResult::Partial)
                object.Add("unreadableBytes", o.unreadableBytes);
            listed.push_back(object);
        }
        ZelPrintJsonArray(listed);
    } else {
        for (const CZelRestoreOutcome& o : outcomes)
            if (o.result == ZelRestoreResult::Restored || o.result == ZelRestoreResult::Partial)
                std::printf("%s -> %s%s\n", Printable(o.source).c_str(), Printable(o.destination).c_str(),
                            o.result == ZelRestoreResult::Partial ? " (partial)" : "");
        // The partly restored are named only when there are any.
        std::string partly = partial == 0 ? "" : std::to_string(partial) + " partial, ";
        std::printf("%zu restored, %s%zu failed, %zu skipped, into %s\n", restored, partly.c_str(), failed,
                    selection.skipped.size(), options.destination.c_str());
    }
    return failed == 0 && partial == 0 && selection.skipped.empty() ? kDone : kSomeFailed;
}

} // namespace

int main(int argc, char** argv)
{
    CRecoverOptions options;
    std::string error;
    if (!ZelParseRecoverOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "jexrecover: %s\n\n%s", error.c_str(), kRecoverUsage);
        return kCannot;
    }
    if (options.help) {
        std::printf("%s", kRecoverUsage);
        return kDone;
    }
    if (options.version) {
        std::printf("jexrecover %s\n", ZEL_VERSION_TEXT);
        return kDone;
    }
    CZelCoreBinding core;
    if (!core.Load(error))
        return Fail(error);
    if (options.command == CRecoverOptions::Volumes)
        return ListVolumes(core, options);

    CZelVolumeCheck check = ZelCheckVolume(options.volume, false);
    if (!check.ok)
        return Fail(check.error);
    // A whole-disk image or device with a partition table: the one
    // partition that can be searched, or a list to choose from.
    std::wstring reason;
    if (!core.GetFileSystemCreator()->CreateFileSystemEx(ZelNarrowToWide(options.volume).c_str(), reason)) {
        std::vector<CListedPartition> listed, searchable;
        ReadPartitions(core, check.device, listed, error);
        for (const CListedPartition& p : listed)
            if (p.searchable)
                searchable.push_back(p);
        if (searchable.size() == 1) {
            if (!options.quiet)
                std::fprintf(stderr, "jexrecover: %s holds a partition table; searching %s (%s)\n",
                             options.volume.c_str(), searchable[0].volume.c_str(), searchable[0].fileSystem.c_str());
            options.volume = searchable[0].volume;
        } else if (searchable.size() > 1) {
            std::fprintf(stderr, "jexrecover: %s holds %zu partitions that can be searched; name one of them:\n",
                         options.volume.c_str(), searchable.size());
            PrintPartitions(searchable, false, stderr);
            return kCannot;
        }
        check = ZelCheckVolume(options.volume, false);
        if (!check.ok)
            return Fail(check.error);
    }
    // Before anything is read: a destination on the volume itself could
    // overwrite the very data being recovered.
    if (options.command == CRecoverOptions::Restore) {
        std::string refusal = ZelRefuseDestination(check, options.destination);
        if (!refusal.empty())
            return Fail(refusal);
    }
    check = ZelCheckVolume(options.volume, true);
    if (!check.ok)
        return Fail(check.error);
    CZelRecoveryScan scan(*core.GetFileSystemCreator());
    if (!Search(core, options, scan, error))
        return Fail(error);
    if (options.command == CRecoverOptions::Scan)
        return ScanCommand(options, scan);
    std::error_code failed;
    std::filesystem::create_directories(options.destination, failed);
    if (failed)
        return Fail(options.destination + ": " + failed.message());
    return RestoreCommand(options, scan);
}
