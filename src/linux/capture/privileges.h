// lumora parses hostile traffic, so once its capture handle and any frame
// file are open it keeps no privilege: root becomes an ordinary user, and a
// service started with CAP_NET_RAW only gives that capability up.
#pragma once

#include <sys/types.h>

// Whom lumora runs as after start-up.
struct Identity {
    bool switchUser;  // started as root: become uid/gid
    uid_t uid;
    gid_t gid;
};

// Looks the user up before capture starts: `user` from -Z, by default
// "nobody" when started as root. False (after printing why) for a user that
// does not exist, or -Z naming another user without root.
bool ResolveIdentity(const char* user, Identity* identity);

// Switches to the identity with no supplementary groups and no capability
// left in any set. False (after printing why) when that failed.
bool DropPrivileges(const Identity& identity);
