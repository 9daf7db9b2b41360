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

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <ctime>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

extern "C" {
#include <ntfs-3g/types.h>
#include <ntfs-3g/attrib.h>
#include <ntfs-3g/dir.h>
#include <ntfs-3g/inode.h>
#include <ntfs-3g/unistr.h>
#include <ntfs-3g/volume.h>
}
#undef min
#undef max

namespace {

ntfs_inode* Create(ntfs_inode* parent, const std::string& name, mode_t type)
{
    ntfschar* units = nullptr;
    int length = ntfs_mbstoucs(name.c_str(), &units);
    if (length < 0)
        return nullptr;
    ntfs_inode* made = ntfs_create(parent, const_cpu_to_le32(0), units, static_cast<u8>(length), type);
    free(units);
    return made;
}

bool Delete(ntfs_volume* volume, const std::string& path)
{
    size_t slash = path.find_last_of('/');
    std::string folder = slash == 0 ? "/" : path.substr(0, slash);
    std::string name = path.substr(slash + 1);
    ntfs_inode* parent = ntfs_pathname_to_inode(volume, nullptr, folder.c_str());
    ntfs_inode* item = ntfs_pathname_to_inode(volume, nullptr, path.c_str());
    ntfschar* units = nullptr;
    int length = ntfs_mbstoucs(name.c_str(), &units);
    bool ok = parent && item && length > 0 &&
              ntfs_delete(volume, path.c_str(), item, parent, units, static_cast<u8>(length)) == 0;
    free(units);
    return ok;
}

ntfs_inode* Parent(ntfs_volume* volume, const std::string& path, std::string& name)
{
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return nullptr;
    name = path.substr(slash + 1);
    return ntfs_pathname_to_inode(volume, nullptr, slash == 0 ? "/" : path.substr(0, slash).c_str());
}

bool Write(ntfs_inode* file, const void* data, size_t size)
{
    ntfs_attr* stream = ntfs_attr_open(file, AT_DATA, AT_UNNAMED, 0);
    bool ok = stream != nullptr && (size == 0 || ntfs_attr_pwrite(stream, 0, static_cast<s64>(size), data) ==
                                                     static_cast<s64>(size));
    if (stream != nullptr)
        ntfs_attr_close(stream);
    return ok;
}

bool MakeFolder(ntfs_volume* volume, const std::string& path)
{
    std::string name;
    ntfs_inode* parent = Parent(volume, path, name);
    if (parent == nullptr)
        return false;
    ntfs_inode* folder = Create(parent, name, S_IFDIR);
    if (folder != nullptr)
        ntfs_inode_close_in_dir(folder, parent);
    ntfs_inode_close(parent);
    return folder != nullptr;
}

bool Put(ntfs_volume* volume, const std::string& local, const std::string& path)
{
    std::ifstream in(local, std::ios::binary);
    if (!in)
        return false;
    std::vector<char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string name;
    ntfs_inode* parent = Parent(volume, path, name);
    if (parent == nullptr)
        return false;
    ntfs_inode* file = Create(parent, name, S_IFREG);
    bool ok = file != nullptr && Write(file, data.data(), data.size());
    if (file != nullptr)
        ntfs_inode_close_in_dir(file, parent);
    ntfs_inode_close(parent);
    return ok;
}

bool Fill(ntfs_volume* volume, int folders, int files)
{
    std::mt19937 random(7);
    std::vector<uint8_t> data(256 * 1024);
    for (auto& b : data)
        b = static_cast<uint8_t>(random());
    ntfs_inode* root = ntfs_pathname_to_inode(volume, nullptr, "/");
    if (root == nullptr)
        return false;
    for (int f = 0; f < folders; ++f) {
        ntfs_inode* dir = Create(root, "Ordner " + std::to_string(f), S_IFDIR);
        if (dir == nullptr)
            return false;
        for (int i = 0; i < files; ++i) {
            // Mostly small files (many resident), some larger ones.
            size_t size = random() % 10 < 8 ? 200 + random() % 3000 : 4096 + random() % (200 * 1024);
            ntfs_inode* file = Create(dir, "Datei " + std::to_string(i) + ".bin", S_IFREG);
            bool ok = file != nullptr && Write(file, data.data(), size);
            if (file != nullptr)
                ntfs_inode_close_in_dir(file, dir);
            if (!ok)
                return false;
        }
        ntfs_inode_close(dir);
    }
    ntfs_inode_close(root);
    for (int f = 0; f < folders; ++f)
        for (int i = 1; i < files; i += 2)
            if (!Delete(volume, "/Ordner " + std::to_string(f) + "/Datei " + std::to_string(i) + ".bin"))
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
    ntfs_volume* volume = ntfs_mount(argv[1], NTFS_MNT_NONE);
    if (volume == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    int status = 0;
    for (int i = 2; i < argc && status == 0;) {
        std::string command = argv[i];
        auto has = [&](int n) { return i + n < argc; };
        bool ok = false;
        if (command == "mkdir" && has(1)) {
            ok = MakeFolder(volume, argv[i + 1]);
            i += 2;
        } else if (command == "put" && has(2)) {
            ok = Put(volume, argv[i + 1], argv[i + 2]);
            i += 3;
        } else if (command == "rm" && has(1)) {
            ok = Delete(volume, argv[i + 1]);
            i += 2;
        } else if (command == "fill" && has(2)) {
            ok = Fill(volume, std::atoi(argv[i + 1]), std::atoi(argv[i + 2]));
            i += 3;
        } else {
            std::fprintf(stderr, "jexntfs-edit: cannot read the command at \"%s\"\n", command.c_str());
            status = 2;
            break;
        }
        if (!ok) {
            std::fprintf(stderr, "jexntfs-edit: %s failed\n", command.c_str());
            status = 1;
        }
    }
    if (ntfs_umount(volume, FALSE) != 0)
        status = 1;
    return status;
}

