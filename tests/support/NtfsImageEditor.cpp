#include "support/NtfsImageEditor.h"

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <functional>
#include <sys/stat.h>
#include <sys/types.h>

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

namespace jextest {

namespace {

std::string Parent(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
}

std::string Leaf(const std::string& path)
{
    return path.substr(path.find_last_of('/') + 1);
}

// A name in the volume's UTF-16, freed with free().
class Unicode {
public:
    explicit Unicode(const std::string& name) : m_Length(ntfs_mbstoucs(name.c_str(), &m_Units)) {}
    ~Unicode() { std::free(m_Units); }
    Unicode(const Unicode&) = delete;
    Unicode& operator=(const Unicode&) = delete;
    bool Ok() const { return m_Length > 0 && m_Units != nullptr; }
    ntfschar* Units() const { return m_Units; }
    int Length() const { return m_Length; }

private:
    ntfschar* m_Units = nullptr;
    int m_Length;
};

// An inode opened by path, closed with the object.
class Inode {
public:
    Inode(ntfs_volume* volume, const std::string& path) : m_pInode(ntfs_pathname_to_inode(volume, nullptr, path.c_str())) {}
    ~Inode()
    {
        if (m_pInode != nullptr)
            ntfs_inode_close(m_pInode);
    }
    Inode(const Inode&) = delete;
    Inode& operator=(const Inode&) = delete;
    ntfs_inode* Get() const { return m_pInode; }
    // Hands the inode to a call that closes it.
    ntfs_inode* Release()
    {
        ntfs_inode* inode = m_pInode;
        m_pInode = nullptr;
        return inode;
    }

private:
    ntfs_inode* m_pInode;
};

} // namespace

int64_t NtfsTime(int64_t seconds, int64_t hundredNanoseconds)
{
    return seconds * 10000000 + hundredNanoseconds + 116444736000000000LL;
}

NtfsImageEditor::NtfsImageEditor(const std::string& image)
{
    m_pVolume = ntfs_mount(image.c_str(), NTFS_MNT_NONE);
    if (m_pVolume == nullptr)
        m_Error = "libntfs-3g cannot mount " + image + " read-write: " + std::strerror(errno);
}

NtfsImageEditor::~NtfsImageEditor()
{
    Close();
}

bool NtfsImageEditor::Fail(const std::string& error)
{
    m_Error = error;
    return false;
}

bool NtfsImageEditor::Close()
{
    if (m_pVolume == nullptr)
        return true;
    bool ok = ntfs_umount(m_pVolume, FALSE) == 0;
    m_pVolume = nullptr;
    return ok || Fail("unmounting the image failed");
}

bool NtfsImageEditor::Create(const std::string& path, unsigned mode)
{
    if (m_pVolume == nullptr)
        return Fail("nothing is mounted");
    Inode parent(m_pVolume, Parent(path));
    if (parent.Get() == nullptr)
        return Fail("no folder " + Parent(path));
    Unicode name(Leaf(path));
    if (!name.Ok())
        return Fail("cannot convert " + Leaf(path));
    ntfs_inode* made = ntfs_create(parent.Get(), const_cpu_to_le32(0), name.Units(), static_cast<u8>(name.Length()),
                                   static_cast<mode_t>(mode));
    if (made == nullptr)
        return Fail("cannot create " + path);
    ntfs_inode_close_in_dir(made, parent.Get());
    return true;
}

bool NtfsImageEditor::Folder(const std::string& path)
{
    return Create(path, S_IFDIR);
}

bool NtfsImageEditor::File(const std::string& path, const std::vector<uint8_t>& data)
{
    return Create(path, S_IFREG) && (data.empty() || WriteAt(path, 0, data));
}

bool NtfsImageEditor::WithUnnamedStream(const std::string& path, const std::function<bool(ntfs_attr*)>& change)
{
    if (m_pVolume == nullptr)
        return Fail("nothing is mounted");
    Inode file(m_pVolume, path);
    if (file.Get() == nullptr)
        return Fail("no file " + path);
    ntfs_attr* stream = ntfs_attr_open(file.Get(), AT_DATA, AT_UNNAMED, 0);
    if (stream == nullptr)
        return Fail(path + " has no data stream");
    bool ok = change(stream);
    ntfs_attr_close(stream);
    return ok;
}

bool NtfsImageEditor::WriteAt(const std::string& path, uint64_t offset, const std::vector<uint8_t>& data)
{
    return WithUnnamedStream(path, [&](ntfs_attr* stream) {
        return ntfs_attr_pwrite(stream, static_cast<s64>(offset), static_cast<s64>(data.size()), data.data()) ==
                   static_cast<s64>(data.size()) ||
               Fail("cannot write " + path);
    });
}

bool NtfsImageEditor::Truncate(const std::string& path, uint64_t size)
{
    return WithUnnamedStream(path, [&](ntfs_attr* stream) {
        return ntfs_attr_truncate(stream, static_cast<s64>(size)) == 0 || Fail("cannot truncate " + path);
    });
}

bool NtfsImageEditor::Stream(const std::string& path, const std::string& streamName, const std::vector<uint8_t>& data)
{
    if (m_pVolume == nullptr)
        return Fail("nothing is mounted");
    Inode file(m_pVolume, path);
    Unicode name(streamName);
    if (file.Get() == nullptr || !name.Ok())
        return Fail("no file " + path + " or no stream name");
    if (ntfs_attr_add(file.Get(), AT_DATA, name.Units(), static_cast<u8>(name.Length()), nullptr, 0) != 0)
        return Fail("cannot add the stream " + streamName + " to " + path);
    ntfs_attr* stream = ntfs_attr_open(file.Get(), AT_DATA, name.Units(), static_cast<u32>(name.Length()));
    if (stream == nullptr)
        return Fail("cannot open the stream " + streamName + " of " + path);
    bool ok = ntfs_attr_pwrite(stream, 0, static_cast<s64>(data.size()), data.data()) == static_cast<s64>(data.size());
    ntfs_attr_close(stream);
    return ok || Fail("cannot write the stream " + streamName + " of " + path);
}

bool NtfsImageEditor::SetDataChangeTime(const std::string& path, int64_t ntfsTime)
{
    if (m_pVolume == nullptr)
        return Fail("nothing is mounted");
    Inode file(m_pVolume, path);
    if (file.Get() == nullptr)
        return Fail("no file " + path);
    file.Get()->last_data_change_time = cpu_to_sle64(ntfsTime);
    file.Get()->last_access_time = cpu_to_sle64(ntfsTime);
    ntfs_inode_mark_dirty(file.Get());
    return true;
}

bool NtfsImageEditor::DosName(const std::string& path, const std::string& dosName)
{
    if (m_pVolume == nullptr)
        return Fail("nothing is mounted");
    Inode parent(m_pVolume, Parent(path));
    Inode file(m_pVolume, path);
    if (parent.Get() == nullptr || file.Get() == nullptr)
        return Fail("no file " + path);
    // The call closes both inodes.
    if (ntfs_set_ntfs_dos_name(file.Release(), parent.Release(), dosName.c_str(), dosName.size(), 0) != 0)
        return Fail("cannot give " + path + " the 8.3 name " + dosName);
    return true;
}

bool NtfsImageEditor::Delete(const std::string& path)
{
    if (m_pVolume == nullptr)
        return Fail("nothing is mounted");
    Inode parent(m_pVolume, Parent(path));
    Inode item(m_pVolume, path);
    Unicode name(Leaf(path));
    if (parent.Get() == nullptr || item.Get() == nullptr || !name.Ok())
        return Fail("no file or folder " + path);
    // The call closes both inodes.
    if (ntfs_delete(m_pVolume, path.c_str(), item.Release(), parent.Release(), name.Units(),
                    static_cast<u8>(name.Length())) != 0)
        return Fail("cannot delete " + path + ": " + std::strerror(errno));
    return true;
}

bool NtfsImageEditor::MarkDirty()
{
    if (m_pVolume == nullptr)
        return Fail("nothing is mounted");
    return ntfs_volume_write_flags(m_pVolume, m_pVolume->flags | VOLUME_IS_DIRTY) == 0 ||
           Fail("cannot mark the volume dirty");
}

uint64_t NtfsImageEditor::RecordOffset(uint64_t record)
{
    if (m_pVolume == nullptr)
        return 0;
    uint64_t byte = record * m_pVolume->mft_record_size;
    LCN lcn = ntfs_attr_vcn_to_lcn(m_pVolume->mft_na, static_cast<VCN>(byte / m_pVolume->cluster_size));
    return lcn < 0 ? 0 : static_cast<uint64_t>(lcn) * m_pVolume->cluster_size + byte % m_pVolume->cluster_size;
}

uint64_t NtfsImageEditor::DataOffset(const std::string& path)
{
    uint64_t offset = 0;
    WithUnnamedStream(path, [&](ntfs_attr* stream) {
        LCN lcn = ntfs_attr_vcn_to_lcn(stream, 0);
        if (lcn >= 0)
            offset = static_cast<uint64_t>(lcn) * m_pVolume->cluster_size;
        return true;
    });
    return offset;
}

uint32_t NtfsImageEditor::ClusterSize() const
{
    return m_pVolume != nullptr ? m_pVolume->cluster_size : 0;
}

uint64_t NtfsImageEditor::RecordOf(const std::string& path)
{
    if (m_pVolume == nullptr)
        return 0;
    Inode item(m_pVolume, path);
    return item.Get() != nullptr ? item.Get()->mft_no : 0;
}

} // namespace jextest
