// jexntfs-edit: changes an NTFS image through libntfs-3g, mounted
// read-write on the image file (no kernel or FUSE mount), for the demo and
// the benchmark.
//
// Usage: jexntfs-edit IMAGE COMMAND... with the commands
//   mkdir PATH        a folder (its parent must exist)
//   put LOCAL PATH    a file with the content of the local file LOCAL
//   rm PATH           deletes a file or an empty folder
//   fill N M [LIST]   N folders of M files of mixed sizes, then deletes
//                     every second file. Each file is a stretch of one
//                     pseudo-random pattern, starting where no other file's
//                     does; with LIST, the pattern is written to LIST.pattern
//                     and each deleted file to LIST as "START SIZE PATH", so
//                     that a restored copy can be checked byte for byte.
//   fill-small N M [LIST]  the same with files of 100 to 600 bytes, kept
//                     in their MFT records: many records on a small image

#include "support/NtfsImageEditor.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

using jextest::NtfsImageEditor;

bool Put(NtfsImageEditor& disk, const std::string& local, const std::string& path)
{
    std::ifstream in(local, std::ios::binary);
    if (!in)
        return false;
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return disk.File(path, data);
}

bool Fill(NtfsImageEditor& disk, int folders, int files, const std::string& list, bool small)
{
    std::mt19937 random(7);
    // Twice the largest file, so that any start leaves room for any size.
    const size_t largest = 4096 + 200 * 1024;
    std::vector<uint8_t> data(2 * largest);
    for (auto& b : data)
        b = static_cast<uint8_t>(random());
    std::ofstream listed;
    if (!list.empty()) {
        std::ofstream pattern(list + ".pattern", std::ios::binary);
        pattern.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        listed.open(list);
        if (!pattern || !listed)
            return false;
    }
    for (int f = 0; f < folders; ++f) {
        std::string folder = "/Ordner " + std::to_string(f);
        if (!disk.Folder(folder))
            return false;
        for (int i = 0; i < files; ++i) {
            // Mostly small files (many resident), some larger ones.
            size_t size = small                 ? 100 + random() % 500
                          : random() % 10 < 8 ? 200 + random() % 3000
                                              : 4096 + random() % (200 * 1024);
            // Each file its own start: a restore that took another file's
            // data would not pass for this one.
            size_t start = (static_cast<size_t>(f) * static_cast<size_t>(files) + static_cast<size_t>(i)) * 9973 % largest;
            std::vector<uint8_t> content(data.begin() + static_cast<std::ptrdiff_t>(start),
                                         data.begin() + static_cast<std::ptrdiff_t>(start + size));
            std::string path = folder + "/Datei " + std::to_string(i) + ".bin";
            if (!disk.File(path, content))
                return false;
            if (listed.is_open() && i % 2 == 1)
                listed << start << ' ' << size << ' ' << path.substr(1) << '\n';
        }
    }
    for (int f = 0; f < folders; ++f)
        for (int i = 1; i < files; i += 2)
            if (!disk.Delete("/Ordner " + std::to_string(f) + "/Datei " + std::to_string(i) + ".bin"))
                return false;
    return !listed.is_open() || static_cast<bool>(listed.flush());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "Usage: %s IMAGE (mkdir PATH | put LOCAL PATH | rm PATH | fill[-small] N M [LIST])...\n",
                     argv[0]);
        return 2;
    }
    NtfsImageEditor disk(argv[1]);
    if (!disk.Mounted()) {
        std::fprintf(stderr, "jexntfs-edit: %s\n", disk.Error().c_str());
        return 1;
    }
    int status = 0;
    for (int i = 2; i < argc && status == 0;) {
        std::string command = argv[i];
        auto has = [&](int n) { return i + n < argc; };
        bool ok = false;
        if (command == "mkdir" && has(1)) {
            ok = disk.Folder(argv[i + 1]);
            i += 2;
        } else if (command == "put" && has(2)) {
            ok = Put(disk, argv[i + 1], argv[i + 2]);
            i += 3;
        } else if (command == "rm" && has(1)) {
            ok = disk.Delete(argv[i + 1]);
            i += 2;
        } else if ((command == "fill" || command == "fill-small") && has(2)) {
            // A list follows when the next word is no command.
            std::string next = has(3) ? argv[i + 3] : "";
            bool withList = !next.empty() && next != "mkdir" && next != "put" && next != "rm" && next != "fill" &&
                            next != "fill-small";
            ok = Fill(disk, std::atoi(argv[i + 1]), std::atoi(argv[i + 2]), withList ? next : std::string(),
                      command == "fill-small");
            i += withList ? 4 : 3;
        } else {
            std::fprintf(stderr, "jexntfs-edit: cannot read the command at \"%s\"\n", command.c_str());
            status = 2;
            break;
        }
        if (!ok) {
            std::fprintf(stderr, "jexntfs-edit: %s failed: %s\n", command.c_str(), disk.Error().c_str());
            status = 1;
        }
    }
    if (!disk.Close()) {
        std::fprintf(stderr, "jexntfs-edit: %s\n", disk.Error().c_str());
        status = 1;
    }
    return status;
}
