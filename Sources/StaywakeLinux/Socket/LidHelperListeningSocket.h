#pragma once

#include "StaywakeLinux/Socket/UniqueFd.h"

#include <optional>
#include <string>

namespace staywake {

/// Finds or makes the socket the lid helper listens on: the one systemd passed
/// when it started the helper for its socket unit, or else one the helper binds
/// itself. Either way the result is a listening AF_UNIX SOCK_SEQPACKET socket,
/// close-on-exec (so no command the helper runs inherits it) and non-blocking.
class LidHelperListeningSocket {
public:
    static constexpr const char* defaultPath = "/run/staywake/lidhelper.sock";

    /// The activated socket if systemd passed one, else `bound(path)`. Throws
    /// SystemError.
    static UniqueFd activatedOrBound(const std::string& path);

    /// The socket systemd passed (sd_listen_fds), or nothing when it passed
    /// none. Throws SystemError when it passed something else than exactly one
    /// listening AF_UNIX SOCK_SEQPACKET socket: listening anywhere else would
    /// fight the socket unit over the path.
    static std::optional<UniqueFd> activated();

    /// Binds and listens at `path`. A missing parent directory is created with
    /// mode 0755; an existing one must belong to this user and be writable by
    /// nobody else, so nobody else can swap the socket. A socket left by an
    /// earlier run is replaced; a live one, or any other kind of file, is not
    /// touched. Any local user may connect (mode 0666): the peer check decides.
    /// Throws SystemError.
    static UniqueFd bound(const std::string& path);
};

} // namespace staywake
