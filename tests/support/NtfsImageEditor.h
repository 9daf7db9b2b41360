// Fills and empties NTFS images through libntfs-3g itself, mounted
// read-write on the image file: no kernel or FUSE mount is needed. Used by
// the tests, the demo and the benchmarks. Paths are absolute inside the
// volume ("/Folder/file.txt"); every change answers false with Error()
// saying why when it fails.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct _ntfs_volume;
struct _ntfs_attr;

namespace jextest {

class NtfsImageEditor {
public:
    explicit NtfsImageEditor(const std::string& image);
    ~NtfsImageEditor();
    NtfsImageEditor(const NtfsImageEditor&) = delete;
    NtfsImageEditor& operator=(const NtfsImageEditor&) = delete;

    bool Mounted() const { return m_pVolume != nullptr; }
    const std::string& Error() const { return m_Error; }

    bool Folder(const std::string& path);
    bool File(const std::string& path, const std::vector<uint8_t>& data);
    // Writes data at offset of an existing file's unnamed stream; false when
    // the volume has no room for it.
    bool WriteAt(const std::string& path, uint64_t offset, const std::vector<uint8_t>& data);
    // Makes the unnamed stream size bytes long (sparse when it grows).
    bool Truncate(const std::string& path, uint64_t size);
    bool Stream(const std::string& path, const std::string& stream, const std::vector<uint8_t>& data);
    // Sets the last data change time (NTFS time) of a file.
    bool SetDataChangeTime(const std::string& path, int64_t ntfsTime);
    // Gives a file an 8.3 alias beside its long name.
    bool DosName(const std::string& path, const std::string& dosName);
    // Deletes a file or an empty folder.
    bool Delete(const std::string& path);
    // Marks the volume dirty, as an unplugged disk is left.
    bool MarkDirty();
    // The MFT record number of a path, 0 when it has none.
    uint64_t RecordOf(const std::string& path);
    // Where on the volume an MFT record lies, and where the first cluster of
    // a file's unnamed stream does (in bytes); 0 when it cannot be told.
    uint64_t RecordOffset(uint64_t record);
    uint64_t DataOffset(const std::string& path);
    uint32_t ClusterSize() const;
    // Unmounts, writing everything out.
    bool Close();

private:
    // A new file or folder (mode S_IFREG or S_IFDIR).
    bool Create(const std::string& path, unsigned mode);
    bool Fail(const std::string& error);
    // Opens a file's unnamed stream for change; false with the reason when
    // there is none or change fails.
    bool WithUnnamedStream(const std::string& path, const std::function<bool(struct _ntfs_attr*)>& change);

    struct _ntfs_volume* m_pVolume = nullptr;
    std::string m_Error;
};

// NTFS time of a moment given as seconds and 100-ns units since 1970.
int64_t NtfsTime(int64_t seconds, int64_t hundredNanoseconds = 0);

} // namespace jextest
