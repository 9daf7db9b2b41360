#include "RestoreOwner.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace {

bool NumberFrom(const char* name, unsigned long& value)
{
    const char* text = std::getenv(name);
    if (text == nullptr || *text == 0)
        return false;
    char* end = nullptr;
    value = std::strtoul(text, &end, 10);
    return end != nullptr && *end == 0;
}

} // namespace

CZelRestoreOwner ZelRestoreOwner()
{
    CZelRestoreOwner owner;
    unsigned long uid = 0;
    if (::geteuid() != 0 || (!NumberFrom("PKEXEC_UID", uid) && !NumberFrom("SUDO_UID", uid)) || uid == 0)
        return owner;
    owner.change = true;
    owner.uid = static_cast<uid_t>(uid);
    unsigned long gid = 0;
    if (NumberFrom("SUDO_GID", gid)) {
        owner.gid = static_cast<gid_t>(gid);
    } else {
        struct passwd* user = ::getpwuid(owner.uid);
        owner.gid = user != nullptr ? user->pw_gid : static_cast<gid_t>(uid);
    }
    return owner;
}

bool ZelGiveTo(const CZelRestoreOwner& owner, const std::string& path)
{
    return !owner.change || ::lchown(path.c_str(), owner.uid, owner.gid) == 0;
}
