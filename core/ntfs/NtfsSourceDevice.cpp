#include "ntfs/NtfsSourceDevice.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>

namespace {

CNtfsSourceDevice& Of(struct ntfs_device* dev)
{
    return *static_cast<CNtfsSourceDevice*>(dev->d_private);
}

int OpenDevice(struct ntfs_device* dev, int flags)
{
    // The volume is only ever read.
    if ((flags & O_ACCMODE) != O_RDONLY) {
        errno = EROFS;
        return -1;
    }
    NDevSetOpen(dev);
    NDevSetReadOnly(dev);
    return 0;
}

int CloseDevice(struct ntfs_device* dev)
{
    NDevClearOpen(dev);
    return 0;
}

s64 SeekDevice(struct ntfs_device* dev, s64 offset, int whence)
{
    return Of(dev).Seek(offset, whence);
}

s64 PreadDevice(struct ntfs_device* dev, void* buffer, s64 count, s64 offset)
{
    return Of(dev).Read(buffer, count, offset);
}

s64 ReadDevice(struct ntfs_device* dev, void* buffer, s64 count)
{
    CNtfsSourceDevice& device = Of(dev);
    s64 got = device.Read(buffer, count, device.Position());
    if (got > 0)
        device.Advance(got);
    return got;
}

s64 WriteDevice(struct ntfs_device*, const void*, s64)
{
    errno = EROFS;
    return -1;
}

s64 PwriteDevice(struct ntfs_device*, const void*, s64, s64)
{
    errno = EROFS;
    return -1;
}

int SyncDevice(struct ntfs_device*)
{
    return 0;
}

int StatDevice(struct ntfs_device* dev, struct stat* info)
{
    std::memset(info, 0, sizeof *info);
    info->st_mode = S_IFREG | 0444;
    info->st_size = static_cast<off_t>(Of(dev).Source().Size());
    info->st_blksize = 4096;
    return 0;
}

int IoctlDevice(struct ntfs_device* dev, unsigned long request, void* argp)
{
    CZelVolumeSource& source = Of(dev).Source();
    if (request == BLKGETSIZE64) {
        *static_cast<uint64_t*>(argp) = source.Size();
        return 0;
    }
    if (request == BLKSSZGET && source.SectorSize() != 0) {
        *static_cast<int*>(argp) = static_cast<int>(source.SectorSize());
        return 0;
    }
    errno = ENOTTY;
    return -1;
}

struct ntfs_device_operations g_SourceOperations = {
    OpenDevice, CloseDevice, SeekDevice, ReadDevice, WriteDevice,
    PreadDevice, PwriteDevice, SyncDevice, StatDevice, IoctlDevice,
};

} // namespace

CNtfsSourceDevice::CNtfsSourceDevice(std::unique_ptr<CZelVolumeSource> source) : m_pSource(std::move(source)) {}

struct ntfs_device* CNtfsSourceDevice::Allocate()
{
    return ntfs_device_alloc(m_pSource->Path().c_str(), 0, &g_SourceOperations, this);
}

s64 CNtfsSourceDevice::Read(void* buffer, s64 count, s64 offset)
{
    if (count < 0 || offset < 0) {
        errno = EINVAL;
        return -1;
    }
    if (m_Vanished) {
        errno = m_LastError;
        return -1;
    }
    CZelRead read = m_pSource->ReadAt(static_cast<uint64_t>(offset), buffer, static_cast<size_t>(count));
    // One more try: a read that failed once may well succeed again.
    if (read.end == ZelReadEnd::Failed)
        read = m_pSource->ReadAt(static_cast<uint64_t>(offset), buffer, static_cast<size_t>(count));
    if (read.end == ZelReadEnd::Complete || read.end == ZelReadEnd::VolumeEnd)
        return static_cast<s64>(read.bytes);
    ++m_FailedReads;
    m_LastError = read.error != 0 ? read.error : EIO;
    m_Vanished = read.end == ZelReadEnd::Vanished;
    errno = m_LastError;
    return -1;
}

s64 CNtfsSourceDevice::Seek(s64 offset, int whence)
{
    s64 base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m_Position : static_cast<s64>(m_pSource->Size());
    if ((whence != SEEK_SET && whence != SEEK_CUR && whence != SEEK_END) ||
        (offset < 0 && (offset == INT64_MIN || base < -offset)) ||
        (offset > 0 && base > INT64_MAX - offset)) {
        errno = EINVAL;
        return -1;
    }
    m_Position = base + offset;
    return m_Position;
}
