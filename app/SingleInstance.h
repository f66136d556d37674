#pragma once

#include <string>

namespace zul {

// Marks that a copy of the program runs, under name (the program uses
// "ZUL10"): an exclusive flock on the file <name>.lock in $XDG_RUNTIME_DIR,
// else $TMPDIR, else /tmp. The descriptor stays open, on purpose, for the
// life of the process, and is not inherited by programs it starts; the
// operating system drops the lock with the process, so a copy that crashed
// never blocks the next start.
//
// Returns false when another process holds the lock (another copy runs).
// Returns true when this process now holds it, already held it, or the lock
// file cannot be created at all (the guard then stands aside rather than
// keep the program from starting).
bool AcquireSingleInstance(const std::string& name);

}  // namespace zul
