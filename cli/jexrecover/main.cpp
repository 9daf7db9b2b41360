// jexrecover: finds deleted files on FAT32, NTFS and exFAT volumes and copies them
// out, from the command line. It loads libJexFSCore.so (and libJexVars.so
// for the categories) from its own folder and uses the core through its
// exports alone.

#include "Categories.h"
#include "Json.h"
#include "Listing.h"
#include "Options.h"
#include "Searching.h"
#include "jexcommon/ZelText.h"
#include "jexcommon/ZelVersion.h"
#include "jexfscore/ZelBinding.h"
#include "jexplatform/BlockDevices.h"
#include "jexplatform/DeviceFile.h"
#include "jexplatform/PartitionTable.h"
#include "jexplatform/RescueMap.h"
#include "jexplatform/VolumeAccess.h"
#include "jexrecovery/ZelDestination.h"
#include "jexrecovery/ZelFilterRequest.h"
#include "jexrecovery/ZelRecoveryScan.h"
#include "jexrecovery/ZelRestoreRun.h"
#include "jexrecovery/ZelSelection.h"

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

constexpr int kDone = 0, kSomeFailed = 1, kCannot = 2;

// A message on standard error. What standard output holds so far goes out
// first, so that when both go to one pipe or file a message never lands in
// the middle of a listed line.
void Warn(const std::string& message)
{
    std::fflush(stdout);
    std::fprintf(stderr, "jexrecover: %s\n", ZelPrintable(message).c_str());
}

int Fail(const std::string& message)
{
    Warn(message);
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
    // No partition table: the image is one volume, whatever it holds (a
    // card's file system, or nothing left that a quick search can use).
    if (listed.empty()) {
        CListedPartition whole;
        whole.volume = image;
        whole.partition.offset = 0;
        whole.partition.length = disk.Size();
        whole.fileSystem = ZelWideToNarrow(ZelDescribeVolume(image, disk.Size()).fileSystemName);
        std::wstring reason;
        whole.searchable =
            static_cast<bool>(core.GetFileSystemCreator()->CreateFileSystemEx(ZelNarrowToWide(image).c_str(), reason));
        listed.push_back(whole);
    }
    return true;
}

void PrintPartitions(const std::vector<CListedPartition>& listed, FILE* out)
{
    for (const CListedPartition& p : listed)
        std::fprintf(out, "%-32s start %12llu  %10s  %s%s\n", ZelPrintable(p.volume).c_str(),
                     static_cast<unsigned long long>(p.partition.offset), HumanSize(p.partition.length).c_str(),
                     p.fileSystem.empty() ? "no file system" : p.fileSystem.c_str(),
                     p.partition.cutShort ? "  (cut short: the disk ends inside it)" : "");
}

CZelJson PartitionsJson(const std::string& image, const std::vector<CListedPartition>& listed)
{
    CZelJson document = CZelJson::object();
    ZelJsonSetText(document, "image", image);
    CZelJson partitions = CZelJson::array();
    for (const CListedPartition& p : listed) {
        CZelJson object = CZelJson::object();
        ZelJsonSetText(object, "volume", p.volume);
        object["number"] = p.partition.number;
        object["start"] = p.partition.offset;
        object["size"] = p.partition.length;
        object["fileSystem"] = p.fileSystem;
        object["searchable"] = p.searchable;
        object["cutShort"] = p.partition.cutShort;
        partitions.push_back(std::move(object));
    }
    document["partitions"] = std::move(partitions);
    return document;
}

// The image file a volume text names: itself, or IMAGE of "IMAGE@pN";
// empty for a device, a mount point or a folder.
std::string ImageFileOf(const std::string& volume)
{
    struct stat info;
    if (::stat(volume.c_str(), &info) == 0)
        return S_ISREG(info.st_mode) ? volume : std::string();
    std::string image;
    int number = 0;
    if (ZelSplitPartitionText(volume, image, number) && ::stat(image.c_str(), &info) == 0 && S_ISREG(info.st_mode))
        return image;
    return std::string();
}

// The GNU ddrescue map the core reads the image with: the one named, or one
// beside the image, said so. False, said why, when it cannot be used.
bool UseRescueMap(const CZelCoreBinding& core, const CRecoverOptions& options)
{
    if (options.noMap || options.volume.empty())
        return true;
    const std::string image = ImageFileOf(options.volume);
    std::string map = options.map;
    if (map.empty()) {
        map = image.empty() ? std::string() : ZelRescueMapBeside(image);
        if (map.empty())
            return true;
        Warn("reading " + image + " as the GNU ddrescue map " + map +
             " describes it: what the map does not call finished is unreadable (--no-map: no map)");
    } else if (image.empty()) {
        Warn("--map: " + options.volume + " is no image file; a map describes the copy GNU ddrescue made");
        return false;
    }
    std::string error;
    if (!core.UseRescueMap(image, map, error)) {
        Warn("--map" + std::string(options.map.empty() ? " (found beside the image)" : "") + ": " + error);
        return false;
    }
    return true;
}

int ListVolumes(const CZelCoreBinding& core, const CRecoverOptions& options)
{
    // An image or a whole disk named: its partitions.
    if (!options.volume.empty()) {
        std::vector<CListedPartition> listed;
        std::string error;
        if (!ReadPartitions(core, options.volume, listed, error))
            return Fail(error);
        if (options.json)
            ZelPrintJson(PartitionsJson(options.volume, listed), stdout);
        else
            PrintPartitions(listed, stdout);
        return kDone;
    }
    boost::shared_ptr<CZelVolumeEnum> volumes = core.GetCreator()->CreateVolumeEnum();
    if (!volumes)
        return Fail("the volumes of this machine cannot be listed");
    CZelJson listed = CZelJson::array();
    auto it = volumes->GetVolumeInfoIterator();
    for (it->First(); !it->IsDone(); it->Next()) {
        auto volume = it->CurrentItem();
        if (!volume)
            continue;
        std::string root = ZelWideToNarrow(volume->GetRootPath());
        std::string name = ZelWideToNarrow(volume->GetFileSystemName());
        if (options.json) {
            CZelJson object = CZelJson::object();
            ZelJsonSetText(object, "root", root);
            object["fileSystem"] = name;
            object["size"] = volume->GetSize();
            listed.push_back(std::move(object));
        } else {
            std::printf("%-24s %-8s %12s  (%llu bytes)\n", ZelPrintable(root).c_str(), name.empty() ? "-" : name.c_str(),
                        HumanSize(volume->GetSize()).c_str(), static_cast<unsigned long long>(volume->GetSize()));
        }
    }
    if (options.json)
        ZelPrintJson(CZelJson{{"volumes", std::move(listed)}}, stdout);
    return kDone;
}

// What the options ask for: categories and own extensions make one list,
// with the size range.
bool BuildRequest(const CRecoverOptions& options, CZelFilterRequest& request, std::string& error)
{
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
    return true;
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

// The counts a run ends with, for people and for programs.
struct CRunCounts {
    uint64_t found = 0, folders = 0, listed = 0;
    uint64_t restored = 0, partial = 0, failed = 0, skipped = 0;
    uint64_t unreadable = 0, unreadableBytes = 0;
    // The search: deep or quick, the bytes it read, stopped before its end.
    bool deep = false, stopped = false;
    uint64_t bytesRead = 0;
    // How the volume was read, where that needs saying.
    std::string notice;
};

CZelJson SummaryJson(const CRunCounts& counts)
{
    CZelJson summary = CZelJson{{"found", counts.found},           {"folders", counts.folders},
                    {"listed", counts.listed},         {"restored", counts.restored},
                    {"partial", counts.partial},       {"failed", counts.failed},
                    {"skipped", counts.skipped},       {"unreadable", counts.unreadable},
                    {"unreadableBytes", counts.unreadableBytes}, {"deep", counts.deep},
                    {"stopped", counts.stopped},       {"bytesRead", counts.bytesRead}};
    if (!counts.notice.empty())
        ZelJsonSetText(summary, "notice", counts.notice);
    return summary;
}

CRunCounts CountFound(const CZelRecoveryScan& scan, const CZelFilterRequest& request)
{
    CRunCounts counts;
    for (const CZelFoundEntry& e : scan.Found())
        if (ZelWanted(e, request))
            ++(e.directory ? counts.folders : counts.found);
    counts.unreadable = scan.UnreadableStretches();
    counts.deep = scan.Deep();
    counts.stopped = scan.Stopped();
    counts.bytesRead = scan.BytesRead();
    counts.notice = scan.Notice();
    return counts;
}

CZelJson EntryJson(const CZelFoundEntry& e)
{
    CZelJson object = CZelJson::object();
    object["index"] = e.directory ? CZelJson(nullptr) : CZelJson(e.index);
    object["type"] = e.directory ? "directory" : "file";
    ZelJsonSetText(object, "name", e.name);
    ZelJsonSetText(object, "path", e.Path());
    object["size"] = e.size;
    object["deleted"] = e.deleted;
    object["chance"] = ZelJsonPercent(e.estimate);
    if (!e.stream.empty())
        object["stream"] = e.stream;
    if (!e.carvedType.empty()) {
        object["carved"] = true;
        object["fileType"] = e.carvedType;
    }
    return object;
}

int ScanCommand(const CRecoverOptions& options, const CZelFilterRequest& request, const CZelRecoveryScan& scan)
{
    std::vector<const CZelFoundEntry*> listed = ZelListEntries(scan.Found(), request, options);
    CRunCounts counts = CountFound(scan, request);
    if (options.json) {
        CZelJson head = CZelJson::object();
        ZelJsonSetText(head, "volume", options.volume);
        CZelJsonListWriter writer(stdout, head, "entries");
        for (const CZelFoundEntry* e : listed) {
            counts.listed += e->directory ? 0 : 1;
            writer.Add(EntryJson(*e));
        }
        writer.Finish(CZelJson{{"summary", SummaryJson(counts)}});
        if (!options.quiet && scan.UnreadableStretches() != 0)
            Warn(options.volume + UnreadableNote(scan));
        return kDone;
    }
    for (const CZelFoundEntry* e : listed) {
        if (e->directory)
            continue;
        ++counts.listed;
        // The recovery estimate, "-" where the engine gives none.
        char chance[16] = "-";
        if (e->estimate >= 0)
            std::snprintf(chance, sizeof chance, "%d%%", e->estimate);
        std::printf("%6llu %14llu %5s  %s\n", static_cast<unsigned long long>(e->index),
                    static_cast<unsigned long long>(e->size), chance, ZelPrintable(e->Path()).c_str());
    }
    if (!options.quiet) {
        std::string shown = counts.listed == counts.found ? "" : ", " + std::to_string(counts.listed) + " of them listed";
        std::fflush(stdout);
        std::fprintf(stderr, "%llu deleted file%s found on %s%s%s\n", static_cast<unsigned long long>(counts.found),
                     counts.found == 1 ? "" : "s", ZelPrintable(options.volume).c_str(), shown.c_str(),
                     UnreadableNote(scan).c_str());
    }
    return kDone;
}

// Restore progress of each file, on a terminal.
class CProgressLine : public CZelRestoreObserver {
public:
    // Files are begun in the order the volume holds them: the line counts
    // them as they come.
    void Begin(size_t /*number*/, size_t total, const std::string& name) override
    {
        ++m_Number;
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

int RestoreCommand(const CRecoverOptions& options, const CZelFilterRequest& request, const CZelRecoveryScan& scan)
{
    CZelSelection selection =
        options.all ? ZelSelectAll(scan.Found()) : ZelSelectIndexes(scan.Found(), options.indexes);
    // The filters and --match narrow what was chosen; an index named
    // outright that they leave out is told, not passed over in silence.
    std::vector<const CZelFoundEntry*> chosen;
    for (const CZelFoundEntry* file : selection.files) {
        bool wanted = ZelWanted(*file, request);
        if (wanted && ZelMatchesAny(*file, options.matches)) {
            chosen.push_back(file);
        } else if (!options.all) {
            CZelRestoreOutcome outcome;
            outcome.source = file->Path();
            outcome.index = file->index;
            outcome.result = ZelRestoreResult::Skipped;
            outcome.reason = "index " + std::to_string(file->index) + " does not match " +
                             (wanted ? "--match" : "the filters given");
            selection.skipped.push_back(outcome);
        }
    }
    if (!options.json)
        for (const CZelRestoreOutcome& skipped : selection.skipped)
            Warn((skipped.source.empty() ? "" : skipped.source + ": ") + skipped.reason);

    CProgressLine line;
    bool show = ZelShowProgress(options);
    std::vector<CZelRestoreOutcome> outcomes =
        ZelRestoreFiles(chosen, options.destination, options.flat, show ? &line : nullptr);
    if (show && !chosen.empty())
        std::fprintf(stderr, "\r\033[K");
    CRunCounts counts = CountFound(scan, request);
    counts.listed = chosen.size();
    counts.skipped = selection.skipped.size();
    for (const CZelRestoreOutcome& o : outcomes) {
        if (o.result == ZelRestoreResult::Restored) {
            ++counts.restored;
            continue;
        }
        if (o.result == ZelRestoreResult::Partial) {
            ++counts.partial;
            counts.unreadableBytes += o.unreadableBytes;
        } else {
            ++counts.failed;
        }
        if (!options.json)
            Warn(o.source + ": " + (o.result == ZelRestoreResult::Partial ? "partly restored: " : "") + o.reason);
    }
    if (!options.quiet && !options.json && scan.UnreadableStretches() != 0)
        Warn(options.volume + UnreadableNote(scan));
    if (options.json) {
        CZelJson files = CZelJson::array();
        auto add = [&files](const CZelRestoreOutcome& o) {
            CZelJson object = CZelJson::object();
            object["index"] = o.index;
            ZelJsonSetText(object, "source", o.source);
            ZelJsonSetText(object, "destination", o.destination);
            object["result"] = ZelRestoreResultName(o.result);
            if (!o.reason.empty())
                ZelJsonSetText(object, "reason", o.reason);
            if (o.result == ZelRestoreResult::Partial)
                object["unreadableBytes"] = o.unreadableBytes;
            files.push_back(std::move(object));
        };
        for (const CZelRestoreOutcome& o : outcomes)
            add(o);
        for (const CZelRestoreOutcome& o : selection.skipped)
            add(o);
        CZelJson document = CZelJson::object();
        ZelJsonSetText(document, "volume", options.volume);
        ZelJsonSetText(document, "destination", options.destination);
        document["files"] = std::move(files);
        document["summary"] = SummaryJson(counts);
        ZelPrintJson(document, stdout);
    } else {
        for (const CZelRestoreOutcome& o : outcomes)
            if (o.result == ZelRestoreResult::Restored || o.result == ZelRestoreResult::Partial)
                std::printf("%s -> %s%s\n", ZelPrintable(o.source).c_str(), ZelPrintable(o.destination).c_str(),
                            o.result == ZelRestoreResult::Partial ? " (partial)" : "");
        // The partly restored are named only when there are any.
        std::string partly = counts.partial == 0 ? "" : std::to_string(counts.partial) + " partial, ";
        std::printf("%llu restored, %s%llu failed, %llu skipped, into %s\n",
                    static_cast<unsigned long long>(counts.restored), partly.c_str(),
                    static_cast<unsigned long long>(counts.failed), static_cast<unsigned long long>(counts.skipped),
                    ZelPrintable(options.destination).c_str());
    }
    return counts.failed == 0 && counts.partial == 0 && counts.skipped == 0 ? kDone : kSomeFailed;
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
    if (!UseRescueMap(core, options))
        return kCannot;
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
                Warn(options.volume + " holds a partition table; searching " + searchable[0].volume + " (" +
                     searchable[0].fileSystem + ")");
            options.volume = searchable[0].volume;
        } else if (searchable.size() > 1) {
            Warn(options.volume + " holds " + std::to_string(searchable.size()) +
                 " partitions that can be searched; name one of them:");
            PrintPartitions(searchable, stderr);
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
    CZelFilterRequest request;
    if (!BuildRequest(options, request, error))
        return Fail(error);
    CZelRecoveryScan scan(*core.GetFileSystemCreator());
    if (!ZelRunSearch(options, scan, error))
        return Fail(error);
    if (options.command == CRecoverOptions::Scan)
        return ScanCommand(options, request, scan);
    std::error_code failed;
    std::filesystem::create_directories(options.destination, failed);
    if (failed)
        return Fail(options.destination + ": " + failed.message());
    return RestoreCommand(options, request, scan);
}
