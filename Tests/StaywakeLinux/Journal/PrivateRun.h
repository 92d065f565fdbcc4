#pragma once

#include <string>

namespace staywake::testing {

/// For a child between fork and exec: gives the process a mount namespace of
/// its own in which `run` is mounted over /run, so it logs to a JournalCapture
/// there and finds nothing else of the host's /run. Only system calls: safe
/// after fork in a threaded parent. Returns 0 or an errno value.
int enterPrivateRun(const char* run);

/// Whether private mount namespaces can be made here (they need root with
/// CAP_SYS_ADMIN); when not, `why` says what failed.
bool canEnterPrivateRun(std::string& why);

} // namespace staywake::testing
