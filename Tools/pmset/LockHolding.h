#pragma once

namespace staywake {

/// `pmset --hold`: the lock holder's life, as LockHolderProcess::start begins
/// it with a socket on descriptor 3. It waits for the go-ahead (given once its
/// process id is recorded; a pmset that died first leaves nothing to do),
/// takes Night Brew's lock from logind, answers "held" or "failed: <reason>",
/// and then keeps the lock until logind closes its end or a signal ends the
/// process (SIGTERM keeps its default action: the kernel closes the lock).
/// Returns the exit status: 0 after holding, 1 when nothing was held, 2 when
/// not started by pmset.
int holdNightBrewLock();

} // namespace staywake
