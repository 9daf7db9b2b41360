#include "jexplatform/DeviceGrants.h"

#include <map>
#include <mutex>

#include <fcntl.h>
#include <unistd.h>

namespace {

struct CZelGrants {
    std::mutex lock;
    std::map<std::string, int> devices;

    ~CZelGrants()
    {
        for (const auto& device : devices)
            ::close(device.second);
    }
};

CZelGrants& Grants()
{
    static CZelGrants grants;
    return grants;
}

} // namespace

void ZelGrantDevice(const std::string& path, int fd)
{
    if (fd < 0)
        return;
    CZelGrants& grants = Grants();
    std::lock_guard<std::mutex> hold(grants.lock);
    auto [at, added] = grants.devices.emplace(path, fd);
    if (!added) {
        ::close(at->second);
        at->second = fd;
    }
}

int ZelOpenGranted(const std::string& path)
{
    CZelGrants& grants = Grants();
    std::lock_guard<std::mutex> hold(grants.lock);
    auto at = grants.devices.find(path);
    return at == grants.devices.end() ? -1 : ::fcntl(at->second, F_DUPFD_CLOEXEC, 0);
}

bool ZelIsGranted(const std::string& path)
{
    CZelGrants& grants = Grants();
    std::lock_guard<std::mutex> hold(grants.lock);
    return grants.devices.count(path) != 0;
}
