#include "support/NtfsImageWriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <ctime>
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

// The name in the volume's UTF-16; the caller frees it with free().
ntfschar* Unicode(const std::string& name, int& length)
{
    ntfschar* units = nullptr;
    length = ntfs_mbstoucs(name.c_str(), &units);
    if (length < 0)
        ADD_FAILURE() << "cannot convert " << name;
    return units;
}

} // namespace

int64_t NtfsTime(int64_t seconds, int64_t hundredNanoseconds)
{
    return seconds * 10000000 + hundredNanoseconds + 116444736000000000LL;
}

NtfsImageWriter::NtfsImageWriter(const std::string& image)
{
    m_pVolume = ntfs_mount(image.c_str(), NTFS_MNT_NONE);
    if (m_pVolume == nullptr)
        ADD_FAILURE() << "libntfs-3g cannot mount " << image << " read-write";
}

NtfsImageWriter::~NtfsImageWriter()
{
    Close();
}

void NtfsImageWriter::Close()
{
    if (m_pVolume != nullptr && ntfs_umount(m_pVolume, FALSE) != 0)
        ADD_FAILURE() << "unmounting the test image failed";
    m_pVolume = nullptr;
}

void NtfsImageWriter::Create(const std::string& path, unsigned mode)
{
    ASSERT_TRUE(m_pVolume);
    ntfs_inode* parent = ntfs_pathname_to_inode(m_pVolume, nullptr, Parent(path).c_str());
    ASSERT_TRUE(parent) << Parent(path);
    int length = 0;
    ntfschar* name = Unicode(Leaf(path), length);
    ntfs_inode* made = ntfs_create(parent, const_cpu_to_le32(0), name, static_cast<u8>(length), mode);
    free(name);
    EXPECT_TRUE(made) << "cannot create " << path;
    if (made != nullptr)
        ntfs_inode_close_in_dir(made, parent);
    ntfs_inode_close(parent);
}

void NtfsImageWriter::Folder(const std::string& path)
{
    Create(path, S_IFDIR);
}

void NtfsImageWriter::File(const std::string& path, const std::vector<uint8_t>& data)
{
    Create(path, S_IFREG);
    if (!data.empty())
        WriteAt(path, 0, data);
}

bool NtfsImageWriter::TryWriteAt(const std::string& path, uint64_t offset, const std::vector<uint8_t>& data)
{
    if (m_pVolume == nullptr)
        return false;
    ntfs_inode* file = ntfs_pathname_to_inode(m_pVolume, nullptr, path.c_str());
    if (file == nullptr)
        return false;
    bool ok = false;
    ntfs_attr* stream = ntfs_attr_open(file, AT_DATA, AT_UNNAMED, 0);
    if (stream != nullptr) {
        ok = ntfs_attr_pwrite(stream, static_cast<s64>(offset), static_cast<s64>(data.size()), data.data()) ==
             static_cast<s64>(data.size());
        ntfs_attr_close(stream);
    }
    ntfs_inode_close(file);
    return ok;
}

void NtfsImageWriter::WriteAt(const std::string& path, uint64_t offset, const std::vector<uint8_t>& data)
{
    ASSERT_TRUE(m_pVolume);
    EXPECT_TRUE(TryWriteAt(path, offset, data)) << "cannot write " << path;
}

void NtfsImageWriter::Truncate(const std::string& path, uint64_t size)
{
    ASSERT_TRUE(m_pVolume);
    ntfs_inode* file = ntfs_pathname_to_inode(m_pVolume, nullptr, path.c_str());
    ASSERT_TRUE(file) << path;
    ntfs_attr* stream = ntfs_attr_open(file, AT_DATA, AT_UNNAMED, 0);
    EXPECT_TRUE(stream);
    if (stream != nullptr) {
        EXPECT_EQ(ntfs_attr_truncate(stream, static_cast<s64>(size)), 0) << path;
        ntfs_attr_close(stream);
    }
    ntfs_inode_close(file);
}

void NtfsImageWriter::Stream(const std::string& path, const std::string& streamName, const std::vector<uint8_t>& data)
{
    ASSERT_TRUE(m_pVolume);
    ntfs_inode* file = ntfs_pathname_to_inode(m_pVolume, nullptr, path.c_str());
    ASSERT_TRUE(file) << path;
    int length = 0;
    ntfschar* name = Unicode(streamName, length);
    EXPECT_EQ(ntfs_attr_add(file, AT_DATA, name, static_cast<u8>(length), nullptr, 0), 0);
    ntfs_attr* stream = ntfs_attr_open(file, AT_DATA, name, static_cast<u32>(length));
    EXPECT_TRUE(stream);
    if (stream != nullptr) {
        EXPECT_EQ(ntfs_attr_pwrite(stream, 0, static_cast<s64>(data.size()), data.data()), static_cast<s64>(data.size()));
        ntfs_attr_close(stream);
    }
    free(name);
    ntfs_inode_close(file);
}

void NtfsImageWriter::SetDataChangeTime(const std::string& path, int64_t ntfsTime)
{
    ASSERT_TRUE(m_pVolume);
    ntfs_inode* file = ntfs_pathname_to_inode(m_pVolume, nullptr, path.c_str());
    ASSERT_TRUE(file) << path;
    file->last_data_change_time = cpu_to_sle64(ntfsTime);
    file->last_access_time = cpu_to_sle64(ntfsTime);
    ntfs_inode_mark_dirty(file);
    ntfs_inode_close(file);
}

void NtfsImageWriter::DosName(const std::string& path, const std::string& dosName)
{
    ASSERT_TRUE(m_pVolume);
    ntfs_inode* parent = ntfs_pathname_to_inode(m_pVolume, nullptr, Parent(path).c_str());
    ntfs_inode* file = ntfs_pathname_to_inode(m_pVolume, nullptr, path.c_str());
    ASSERT_TRUE(parent && file) << path;
    // Closes both inodes.
    EXPECT_EQ(ntfs_set_ntfs_dos_name(file, parent, dosName.c_str(), dosName.size(), 0), 0) << path;
}

void NtfsImageWriter::Delete(const std::string& path)
{
    ASSERT_TRUE(m_pVolume);
    ntfs_inode* parent = ntfs_pathname_to_inode(m_pVolume, nullptr, Parent(path).c_str());
    ntfs_inode* item = ntfs_pathname_to_inode(m_pVolume, nullptr, path.c_str());
    ASSERT_TRUE(parent && item) << path;
    int length = 0;
    ntfschar* name = Unicode(Leaf(path), length);
    // Closes both inodes.
    EXPECT_EQ(ntfs_delete(m_pVolume, path.c_str(), item, parent, name, static_cast<u8>(length)), 0) << path;
    free(name);
}

void NtfsImageWriter::MarkDirty()
{
    ASSERT_TRUE(m_pVolume);
    EXPECT_EQ(ntfs_volume_write_flags(m_pVolume, m_pVolume->flags | VOLUME_IS_DIRTY), 0);
}

uint64_t NtfsImageWriter::RecordOf(const std::string& path)
{
    if (m_pVolume == nullptr)
        return 0;
    ntfs_inode* item = ntfs_pathname_to_inode(m_pVolume, nullptr, path.c_str());
    if (item == nullptr)
        return 0;
    uint64_t record = item->mft_no;
    ntfs_inode_close(item);
    return record;
}

} // namespace jextest
