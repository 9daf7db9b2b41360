#include "jexplatform/VolumeSource.h"

#include "jexplatform/DeviceFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

// A device node or an image file.
class CZelDeviceSource : public CZelVolumeSource {
public:
    bool Open(const std::string& path, std::string& error)
    {
        if (!m_Device.Open(path, error))
            return false;
        m_Size = m_Device.Size();
        m_SectorSize = m_Device.SectorSize();
        return true;
    }

    CZelRead ReadAt(uint64_t offset, void* destination, size_t count) override
    {
        CZelRead read;
        int error = 0;
        int64_t got = m_Device.ReadAt(offset, destination, count, error);
        read.bytes = got > 0 ? static_cast<size_t>(got) : 0;
        if (read.bytes == count)
            return read;
        if (error == 0) {
            // A device that has gone may answer with an end where it had
            // data before.
            if (offset + read.bytes < m_Size && Gone(ENODEV)) {
                read.end = ZelReadEnd::Vanished;
                read.error = ENODEV;
                return read;
            }
            read.end = ZelReadEnd::VolumeEnd;
            return read;
        }
        read.error = error;
        read.end = Gone(error) ? ZelReadEnd::Vanished : ZelReadEnd::Failed;
        return read;
    }

    void WillRead(uint64_t offset, uint64_t count) override { m_Device.WillRead(offset, count); }
    uint64_t Size() const override { return m_Size; }
    uint32_t SectorSize() const override { return m_SectorSize; }
    const std::string& Path() const override { return m_Device.Path(); }

private:
    // A device that is unplugged answers with ENODEV or ENXIO; one that
    // answers otherwise is gone when it no longer has the size it had, or
    // its node no longer names it.
    bool Gone(int error) const
    {
        if (error == ENODEV || error == ENXIO || error == ENOMEDIUM)
            return true;
        if (!m_Device.IsBlockDevice())
            return false;
        return m_Device.Size() != m_Size || !m_Device.StillNamed();
    }

    CZelDeviceFile m_Device;
    uint64_t m_Size = 0;
    uint32_t m_SectorSize = 0;
};

} // namespace

std::unique_ptr<CZelVolumeSource> ZelOpenVolumeSource(const std::string& path, std::string& error)
{
    auto source = std::make_unique<CZelDeviceSource>();
    if (!source->Open(path, error))
        return nullptr;
    return source;
}

CZelRead ZelReadRetrying(CZelVolumeSource& source, uint64_t offset, void* destination, size_t count)
{
    CZelRead read = source.ReadAt(offset, destination, count);
    if (read.end == ZelReadEnd::Failed)
        read = source.ReadAt(offset, destination, count);
    return read;
}

CZelSalvagedRead ZelReadSalvaging(CZelVolumeSource& source, uint64_t offset, void* destination, size_t count,
                                  uint32_t block)
{
    CZelSalvagedRead result;
    uint8_t* out = static_cast<uint8_t*>(destination);
    CZelRead read = ZelReadRetrying(source, offset, out, count);
    if (read.end != ZelReadEnd::Failed) {
        result.bytes = read.bytes;
        result.vanished = read.end == ZelReadEnd::Vanished;
        result.error = read.error;
        return result;
    }
    // Block by block, so that what can be read is kept and only the blocks
    // that cannot be read become zeros.
    const size_t step = std::max<size_t>(block, 1);
    size_t done = 0;
    while (done < count) {
        size_t wanted = std::min(step - static_cast<size_t>((offset + done) % step), count - done);
        read = source.ReadAt(offset + done, out + done, wanted);
        if (read.end == ZelReadEnd::Vanished) {
            result.vanished = true;
            result.error = read.error;
            break;
        }
        if (read.end == ZelReadEnd::Failed) {
            std::memset(out + done + read.bytes, 0, wanted - read.bytes);
            result.unreadable += wanted - read.bytes;
            result.error = read.error;
            done += wanted;
            continue;
        }
        done += read.bytes;
        if (read.end == ZelReadEnd::VolumeEnd)
            break;
    }
    result.bytes = done;
    return result;
}

std::string ZelErrorText(int error)
{
    return std::strerror(error);
}
