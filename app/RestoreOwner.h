// Who restored files belong to: when the program is run as root on behalf
// of a user on purpose (sudo), that user, so they can open what was
// recovered. Run as the user, as it normally is, the files are the user's
// by themselves.
#pragma once

#include <string>
#include <sys/types.h>

struct CZelRestoreOwner {
    bool change = false;
    uid_t uid = 0;
    gid_t gid = 0;
};

// From PKEXEC_UID or SUDO_UID (and SUDO_GID, or the user's own group) when
// the process runs as root; nothing to change otherwise.
CZelRestoreOwner ZelRestoreOwner();
// Gives path to the owner; false with errno when that fails.
bool ZelGiveTo(const CZelRestoreOwner& owner, const std::string& path);
