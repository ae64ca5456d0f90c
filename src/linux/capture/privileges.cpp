// Looking up whom to become, and giving up root and every capability.
#include "linux/capture/privileges.h"

#include "linux/capture/diagnostics.h"

#include <grp.h>
#include <linux/capability.h>
#include <pwd.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr char kDefaultUser[] = "nobody";
constexpr uid_t kRoot = 0;
constexpr int kCapabilityWords = _LINUX_CAPABILITY_U32S_3;
constexpr unsigned long kLastPossibleCapability = 63;

bool Fail(const char* what) {
    PrintMessage("cannot give up privileges: %s: %s", what, std::strerror(errno));
    return false;
}

// Empties the bounding set while CAP_SETPCAP is still held, so not even a
// set-user-ID program could bring a capability back.
bool EmptyBoundingSet() {
    for (unsigned long capability = 0; capability <= kLastPossibleCapability; ++capability) {
        if (prctl(PR_CAPBSET_READ, capability, 0, 0, 0) < 0) break;  // past the kernel's last one
        if (prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0) return Fail("PR_CAPBSET_DROP");
    }
    return true;
}

bool SwitchUser(const Identity& identity) {
    if (!EmptyBoundingSet()) return false;
    if (setgroups(0, nullptr) != 0) return Fail("setgroups");
    if (setresgid(identity.gid, identity.gid, identity.gid) != 0) return Fail("setresgid");
    if (setresuid(identity.uid, identity.uid, identity.uid) != 0) return Fail("setresuid");
    return true;
}

// Effective, permitted and inheritable sets emptied, and the ambient set.
bool ClearCapabilities() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[kCapabilityWords]{};
    if (syscall(SYS_capset, &header, data) != 0) return Fail("capset");
    if (prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0) != 0 && errno != EINVAL)
        return Fail("PR_CAP_AMBIENT_CLEAR_ALL");
    return true;
}

}  // namespace

bool ResolveIdentity(const char* user, Identity* identity) {
    const bool root = geteuid() == kRoot;
    const char* name = user != nullptr ? user : (root ? kDefaultUser : nullptr);
    *identity = Identity{false, getuid(), getgid()};
    if (name == nullptr) return true;
    const passwd* entry = getpwnam(name);
    if (entry == nullptr) {
        PrintMessage("no such user: %s", name);
        return false;
    }
    if (!root && entry->pw_uid != getuid()) {
        PrintMessage("-Z %s needs lumora started as root", name);
        return false;
    }
    *identity = Identity{root, entry->pw_uid, entry->pw_gid};
    return true;
}

bool DropPrivileges(const Identity& identity) {
    if (identity.switchUser && !SwitchUser(identity)) return false;
    if (!ClearCapabilities()) return false;
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return Fail("PR_SET_NO_NEW_PRIVS");
    // Root must be out of reach for good, not merely set aside.
    if (identity.uid != kRoot && setuid(kRoot) == 0) {
        PrintMessage("cannot give up privileges: root could be regained");
        return false;
    }
    return true;
}
