#pragma once

#include <string>

namespace zul {

// Marks that a copy of the program runs, under name (the program uses
// "ZUL10"). One source per platform:
// - Windows: the named mutex name (CreateMutexA; ERROR_ALREADY_EXISTS means
//   another copy created it).
// - Linux: an exclusive flock on the file <name>.lock in $XDG_RUNTIME_DIR,
//   else $TMPDIR, else /tmp; not inherited by programs it starts.
// The handle or descriptor stays open, on purpose, for the life of the
// process; the operating system drops it with the process, so a copy that
// crashed never blocks the next start.
//
// Returns false when another process holds the mark (another copy runs).
// Returns true when this process now holds it, already held it, or the mark
// cannot be made at all (the guard then stands aside rather than keep the
// program from starting).
bool AcquireSingleInstance(const std::string& name);

}  // namespace zul
