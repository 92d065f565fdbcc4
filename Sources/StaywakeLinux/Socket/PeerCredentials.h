#pragma once

#include <sys/types.h>

namespace staywake {

/// Who is at the other end of a local socket, as the kernel recorded it when
/// the connection was made (SO_PEERCRED): never what the peer claims.
struct PeerCredentials {
    pid_t pid = 0;
    uid_t uid = static_cast<uid_t>(-1);
    gid_t gid = static_cast<gid_t>(-1);
};

} // namespace staywake
