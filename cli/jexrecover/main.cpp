// jexrecover: finds deleted files on FAT32 and NTFS volumes and copies them
// out, from the command line. It loads libJexFSCore.so (and libJexVars.so
// for the categories) from its own folder and uses the core through its
// exports alone.

#include "Json.h"
#include "Options.h"
#include "Recovery.h"
#include "VolumeCheck.h"
#include "jexfscore/ZelText.h"

#include <cstdio>
#include <filesystem>
#include <set>
#include <unistd.h>

namespace {

constexpr int kDone = 0, kSomeFailed = 1, kCannot = 2;

int Fail(const std::string& message)
{
    std::fprintf(stderr, "jexrecover: %s\n", ZelPrintable(message).c_str());
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

int ListVolumes(CZelCoreBinding& core, const CRecoverOptions& options)
{
    boost::shared_ptr<CZelVolumeEnum> volumes = core.GetCreator()->CreateVolumeEnum();
    if (!volumes)
        return Fail("the volumes of this machine cannot be listed");
    auto it = volumes->GetVolumeInfoIterator();
    bool first = true;
    if (options.json)
        std::printf("[");
    for (it->First(); !it->IsDone(); it->Next()) {
        auto volume = it->CurrentItem();
        if (!volume)
            continue;
        std::string root = ZelWideToNarrow(volume->GetRootPath());
        std::string name = ZelWideToNarrow(volume->GetFileSystemName());
        if (options.json) {
            std::printf("%s\n  {\"root\": %s, \"fileSystem\": %s, \"size\": %llu}", first ? "" : ",",
                        ZelJsonString(root).c_str(), ZelJsonString(name).c_str(),
                        static_cast<unsigned long long>(volume->GetSize()));
        } else {
            std::printf("%-24s %-8s %12s  (%llu bytes)\n", root.c_str(), name.empty() ? "-" : name.c_str(),
                        HumanSize(volume->GetSize()).c_str(), static_cast<unsigned long long>(volume->GetSize()));
        }
        first = false;
    }
    if (options.json)
        std::printf("%s]\n", first ? "" : "\n");
    return kDone;
}

// Scans the volume the options name; on failure, the message has been
// printed and exit is set.
bool Scan(CZelCoreBinding& core, const CRecoverOptions& options, const CVolumeCheck& check, CScanResult& scan,
          int& exit)
{
    boost::shared_ptr<CZelCheckFile> filter;
    std::string error;
    if (!ZelBuildFilter(*core.GetCreator(), options, ZelProgramFolder(), filter, error)) {
        exit = Fail(error);
        return false;
    }
    bool showProgress = !options.quiet && ::isatty(STDERR_FILENO);
    scan = ZelScanVolume(core, options.volume, filter, showProgress);
    if (!scan.fileSystem) {
        std::vector<std::string> messages = ZelTakeCoreMessages();
        if (!messages.empty()) {
            exit = Fail(messages.front());
        } else {
            std::string type = ZelVolumeFileSystem(check.device);
            exit = Fail(options.volume + (type.empty() ? ": holds no file system that could be recognised"
                                                       : ": holds a " + type + " file system") +
                        "; only FAT32 and NTFS volumes can be searched");
        }
        return false;
    }
    if (!scan.ok) {
        exit = Fail(scan.error);
        return false;
    }
    return true;
}

int ScanCommand(const CRecoverOptions& options, const CScanResult& scan)
{
    if (options.json) {
        std::printf("[");
        bool first = true;
        for (const CFoundEntry& e : scan.entries) {
            std::printf("%s\n  {\"index\": %llu, \"type\": \"%s\", \"name\": %s, \"path\": %s, \"size\": %llu, "
                        "\"deleted\": %s}",
                        first ? "" : ",", static_cast<unsigned long long>(e.index), e.directory ? "directory" : "file",
                        ZelJsonString(e.name).c_str(), ZelJsonString(e.path).c_str(),
                        static_cast<unsigned long long>(e.size), e.deleted ? "true" : "false");
            first = false;
        }
        std::printf("%s]\n", first ? "" : "\n");
        return kDone;
    }
    size_t files = 0;
    for (const CFoundEntry& e : scan.entries) {
        if (e.directory)
            continue;
        ++files;
        std::printf("%6llu %14llu  %s\n", static_cast<unsigned long long>(e.index),
                    static_cast<unsigned long long>(e.size), ZelPrintable(e.path).c_str());
    }
    if (!options.quiet)
        std::fprintf(stderr, "%zu deleted file%s found on %s\n", files, files == 1 ? "" : "s", options.volume.c_str());
    return kDone;
}

int RestoreCommand(const CRecoverOptions& options, const CScanResult& scan)
{
    std::vector<const CFoundEntry*> chosen;
    std::vector<CRestoreOutcome> skipped;
    if (options.all) {
        for (const CFoundEntry& e : scan.entries)
            if (!e.directory)
                chosen.push_back(&e);
    } else {
        std::set<uint64_t> seen;
        for (uint64_t index : options.indexes) {
            if (!seen.insert(index).second)
                continue;
            const CFoundEntry* match = nullptr;
            for (const CFoundEntry& e : scan.entries)
                if (e.index == index)
                    match = &e;
            if (match != nullptr && !match->directory) {
                chosen.push_back(match);
            } else {
                CRestoreOutcome outcome;
                outcome.source = match != nullptr ? match->path : "";
                outcome.result = "skipped";
                outcome.reason = "index " + std::to_string(index) + (match != nullptr ? " is a folder" : " names no found file");
                if (!options.json)
                    std::fprintf(stderr, "jexrecover: %s\n", outcome.reason.c_str());
                skipped.push_back(outcome);
            }
        }
    }
    bool showProgress = !options.quiet && ::isatty(STDERR_FILENO);
    std::vector<CRestoreOutcome> outcomes = ZelRestoreEntries(chosen, options.destination, options.flat, showProgress);
    size_t restored = 0, failed = 0;
    for (const CRestoreOutcome& o : outcomes) {
        if (o.result == "restored")
            ++restored;
        else
            ++failed;
        if (!options.json && o.result != "restored")
            std::fprintf(stderr, "jexrecover: %s: %s\n", ZelPrintable(o.source).c_str(),
                         ZelPrintable(o.reason).c_str());
    }
    outcomes.insert(outcomes.end(), skipped.begin(), skipped.end());
    if (options.json) {
        std::printf("[");
        bool first = true;
        for (const CRestoreOutcome& o : outcomes) {
            std::printf("%s\n  {\"source\": %s, \"destination\": %s, \"result\": \"%s\"", first ? "" : ",",
                        ZelJsonString(o.source).c_str(), ZelJsonString(o.destination).c_str(), o.result.c_str());
            if (!o.reason.empty())
                std::printf(", \"reason\": %s", ZelJsonString(o.reason).c_str());
            std::printf("}");
            first = false;
        }
        std::printf("%s]\n", first ? "" : "\n");
    } else {
        for (const CRestoreOutcome& o : outcomes)
            if (o.result == "restored")
                std::printf("%s -> %s\n", ZelPrintable(o.source).c_str(), ZelPrintable(o.destination).c_str());
        std::printf("%zu restored, %zu failed, %zu skipped, into %s\n", restored, failed, skipped.size(),
                    options.destination.c_str());
    }
    return failed == 0 && skipped.empty() ? kDone : kSomeFailed;
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
        std::printf("jexrecover 1.2.7\n");
        return kDone;
    }
    CZelCoreBinding core;
    if (!ZelBindCore(core, error))
        return Fail(error);
    if (options.command == CRecoverOptions::Volumes)
        return ListVolumes(core, options);

    CVolumeCheck check = ZelCheckVolume(options.volume, false);
    if (!check.ok)
        return Fail(check.error);
    // Before anything is read: a destination on the volume itself could
    // overwrite the very data being recovered.
    if (options.command == CRecoverOptions::Restore && check.blockDevice &&
        ZelFolderOnDevice(options.destination, check.device))
        return Fail(options.destination + " lies on " + check.device +
                    ", the volume being searched: writing there can overwrite the very files being recovered. "
                    "Choose a folder on another disk.");
    check = ZelCheckVolume(options.volume, true);
    if (!check.ok)
        return Fail(check.error);
    CScanResult scan;
    int exit = kDone;
    if (!Scan(core, options, check, scan, exit))
        return exit;
    if (options.command == CRecoverOptions::Scan)
        return ScanCommand(options, scan);
    std::error_code failed;
    std::filesystem::create_directories(options.destination, failed);
    if (failed)
        return Fail(options.destination + ": " + failed.message());
    return RestoreCommand(options, scan);
}
