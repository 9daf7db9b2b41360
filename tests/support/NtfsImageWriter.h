// Fills and empties NTFS images through libntfs-3g itself, mounted
// read-write on the image file: no kernel or FUSE mount is needed.
// Paths are absolute inside the volume ("/Folder/file.txt").
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct _ntfs_volume;

namespace jextest {

class NtfsImageWriter {
public:
    explicit NtfsImageWriter(const std::string& image);
    ~NtfsImageWriter();
    NtfsImageWriter(const NtfsImageWriter&) = delete;
    NtfsImageWriter& operator=(const NtfsImageWriter&) = delete;

    bool Mounted() const { return m_pVolume != nullptr; }
    void Folder(const std::string& path);
    void File(const std::string& path, const std::vector<uint8_t>& data);
    // Writes data at offset of an existing file as far as the volume has
    // room; false when it has not.
    bool TryWriteAt(const std::string& path, uint64_t offset, const std::vector<uint8_t>& data);
    // Writes data at offset of an existing file's unnamed stream.
    void WriteAt(const std::string& path, uint64_t offset, const std::vector<uint8_t>& data);
    // Makes the unnamed stream size bytes long (sparse when it grows).
    void Truncate(const std::string& path, uint64_t size);
    void Stream(const std::string& path, const std::string& stream, const std::vector<uint8_t>& data);
    // Sets the last data change time (NTFS time) of a file.
    void SetDataChangeTime(const std::string& path, int64_t ntfsTime);
    // Gives a file an 8.3 alias beside its long name.
    void DosName(const std::string& path, const std::string& dosName);
    void Delete(const std::string& path);
    // Marks the volume dirty, as an unplugged disk is left.
    void MarkDirty();
    // The MFT record number of a path.
    uint64_t RecordOf(const std::string& path);
    // Unmounts, writing everything out.
    void Close();

private:
    // A new file or folder (mode S_IFREG or S_IFDIR).
    void Create(const std::string& path, unsigned mode);

    struct _ntfs_volume* m_pVolume = nullptr;
};

// NTFS time of a moment given as seconds and 100-ns units since 1970.
int64_t NtfsTime(int64_t seconds, int64_t hundredNanoseconds = 0);

} // namespace jextest
