#pragma once

#include <ostream>
#include <span>

#include "records/Destination.h"
#include "records/Spool.h"

namespace zul::records {

// What one forward did.
struct ForwardResult {
    // 0: everything was delivered, there was nothing to do, or another
    // forward holds the spool; 1: a destination could not be reached or
    // refused, an entry of the spool was refused, or a record was left out.
    int exitCode = 0;
    int delivered = 0;      // records handed to the destinations (those they had included),
                            // a record counted once per destination
    bool lockHeld = false;  // another forward held the spool: this one did nothing
};

// Delivers the records of spool that destination has not yet taken: one
// forward at a time per spool (the lock file, taken without waiting; when it
// is held this returns at once, as its holder looks again before it ends).
// Passes over the spool until a pass finds nothing new, moving each day
// file's bookkeeping only after the destination stored its records; then
// removes the day files delivered whole more than Spool::kKeepDays days ago,
// gives the lock back and looks once more, so that a record spooled during
// the last pass is not left waiting.
//
// Each problem is one line on errors and in the spool's log (forward.log,
// kept under 64 KiB), with the time. Nothing in the spool is changed when
// the destination cannot be reached: the records wait for the next forward.
ForwardResult Forward(const Spool& spool, Destination& destination, std::ostream& errors);

// The same for several destinations at once (a records folder and a
// database), under one lock: each with its own bookkeeping, so one that
// cannot be reached keeps its records waiting while the others take theirs.
// A record a destination leaves out (Destination::TakeLeftOut) is one line
// on errors and in the log. A day file is removed only once every one of
// them has it whole.
ForwardResult Forward(const Spool& spool, std::span<Destination* const> destinations,
                      std::ostream& errors);

}  // namespace zul::records
