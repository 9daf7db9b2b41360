// Fills an NTFS image for the benchmark through libntfs-3g, mounted
// read-write on the image file: FOLDERS folders of FILES_PER_FOLDER files of
// mixed sizes, then deletes every second file.
//
// Usage: jexbench_ntfs_fill IMAGE FOLDERS FILES_PER_FOLDER

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
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

bool Delete(ntfs_volume* volume, const std::string& folder, const std::string& name)
{
    std::string path = folder + "/" + name;
    ntfs_inode* parent = ntfs_pathname_to_inode(volume, nullptr, folder.c_str());
    ntfs_inode* item = ntfs_pathname_to_inode(volume, nullptr, path.c_str());
    ntfschar* units = nullptr;
    int length = ntfs_mbstoucs(name.c_str(), &units);
    bool ok = parent && item && length > 0 &&
              ntfs_delete(volume, path.c_str(), item, parent, units, static_cast<u8>(length)) == 0;
    free(units);
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "Usage: %s IMAGE FOLDERS FILES_PER_FOLDER\n", argv[0]);
        return 2;
    }
    ntfs_volume* volume = ntfs_mount(argv[1], NTFS_MNT_NONE);
    if (volume == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    const int folders = std::atoi(argv[2]), files = std::atoi(argv[3]);
    std::mt19937 random(7);
    std::vector<uint8_t> data(256 * 1024);
    for (auto& b : data)
        b = static_cast<uint8_t>(random());
    ntfs_inode* root = ntfs_pathname_to_inode(volume, nullptr, "/");
    for (int f = 0; f < folders; ++f) {
        std::string folder = "Ordner " + std::to_string(f);
        ntfs_inode* dir = Create(root, folder, S_IFDIR);
        if (dir == nullptr) {
            std::fprintf(stderr, "cannot create %s\n", folder.c_str());
            return 1;
        }
        for (int i = 0; i < files; ++i) {
            // Mostly small files (many resident), some larger ones.
            size_t size = random() % 10 < 8 ? 200 + random() % 3000 : 4096 + random() % (200 * 1024);
            ntfs_inode* file = Create(dir, "Datei " + std::to_string(i) + ".bin", S_IFREG);
            if (file == nullptr) {
                std::fprintf(stderr, "cannot create a file in %s\n", folder.c_str());
                return 1;
            }
            ntfs_attr* stream = ntfs_attr_open(file, AT_DATA, AT_UNNAMED, 0);
            if (stream == nullptr || ntfs_attr_pwrite(stream, 0, static_cast<s64>(size), data.data()) != static_cast<s64>(size)) {
                std::fprintf(stderr, "cannot write a file in %s\n", folder.c_str());
                return 1;
            }
            ntfs_attr_close(stream);
            ntfs_inode_close_in_dir(file, dir);
        }
        ntfs_inode_close(dir);
    }
    ntfs_inode_close(root);
    for (int f = 0; f < folders; ++f)
        for (int i = 1; i < files; i += 2)
            if (!Delete(volume, "/Ordner " + std::to_string(f), "Datei " + std::to_string(i) + ".bin")) {
                std::fprintf(stderr, "cannot delete a file in folder %d\n", f);
                return 1;
            }
    return ntfs_umount(volume, FALSE) == 0 ? 0 : 1;
}
