// jexntfs-edit: changes an NTFS image through libntfs-3g, mounted
// read-write on the image file (no kernel or FUSE mount), for the demo and
// the benchmark.
//
// Usage: jexntfs-edit IMAGE COMMAND... with the commands
//   mkdir PATH        a folder (its parent must exist)
//   put LOCAL PATH    a file with the content of the local file LOCAL
//   rm PATH           deletes a file or an empty folder
//   fill N M          N folders of M files of mixed sizes, then deletes
//                     every second file

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

bool Fill(NtfsImageEditor& disk, int folders, int files)
{
    std::mt19937 random(7);
    std::vector<uint8_t> data(256 * 1024);
    for (auto& b : data)
        b = static_cast<uint8_t>(random());
    for (int f = 0; f < folders; ++f) {
        std::string folder = "/Ordner " + std::to_string(f);
        if (!disk.Folder(folder))
            return false;
        for (int i = 0; i < files; ++i) {
            // Mostly small files (many resident), some larger ones.
            size_t size = random() % 10 < 8 ? 200 + random() % 3000 : 4096 + random() % (200 * 1024);
            std::vector<uint8_t> content(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(size));
            if (!disk.File(folder + "/Datei " + std::to_string(i) + ".bin", content))
                return false;
        }
    }
    for (int f = 0; f < folders; ++f)
        for (int i = 1; i < files; i += 2)
            if (!disk.Delete("/Ordner " + std::to_string(f) + "/Datei " + std::to_string(i) + ".bin"))
                return false;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "Usage: %s IMAGE (mkdir PATH | put LOCAL PATH | rm PATH | fill N M)...\n", argv[0]);
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
        } else if (command == "fill" && has(2)) {
            ok = Fill(disk, std::atoi(argv[i + 1]), std::atoi(argv[i + 2]));
            i += 3;
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
