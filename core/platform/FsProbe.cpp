#include "jexplatform/FsProbe.h"

#include <blkid/blkid.h>

#include <cstring>

namespace {

class CZelProbe {
public:
    CZelProbe() : m_Probe(blkid_new_probe()) {}
    ~CZelProbe()
    {
        if (m_Probe != nullptr)
            blkid_free_probe(m_Probe);
    }
    CZelProbe(const CZelProbe&) = delete;
    CZelProbe& operator=(const CZelProbe&) = delete;
    blkid_probe Get() const { return m_Probe; }

    std::string Value(const char* name) const
    {
        const char* data = nullptr;
        size_t length = 0;
        if (blkid_probe_lookup_value(m_Probe, name, &data, &length) != 0 || data == nullptr)
            return std::string();
        // The length counts the terminator.
        return std::string(data, strnlen(data, length));
    }

private:
    blkid_probe m_Probe;
};

} // namespace

std::string ZelProbeFileSystemName(int fd, uint64_t offset, uint64_t length)
{
    if (fd < 0)
        return std::string();
    CZelProbe probe;
    if (probe.Get() == nullptr)
        return std::string();
    if (blkid_probe_set_device(probe.Get(), fd, static_cast<blkid_loff_t>(offset), static_cast<blkid_loff_t>(length)) != 0)
        return std::string();
    blkid_probe_enable_superblocks(probe.Get(), 1);
    blkid_probe_set_superblocks_flags(probe.Get(), BLKID_SUBLKS_TYPE | BLKID_SUBLKS_VERSION);
    blkid_probe_enable_partitions(probe.Get(), 0);
    // 0: one file system found; 1: nothing; -2: ambiguous; -1: error.
    if (blkid_do_safeprobe(probe.Get()) != 0)
        return std::string();
    return ZelFileSystemNameOf(probe.Value("TYPE"), probe.Value("VERSION"));
}

std::string ZelFileSystemNameOf(const std::string& type, const std::string& version)
{
    if (type == "vfat") {
        if (version == "FAT12" || version == "FAT16" || version == "FAT32")
            return version;
        return "FAT";
    }
    if (type == "ntfs")
        return "NTFS";
    if (type == "exfat")
        return "exFAT";
    return type;
}
