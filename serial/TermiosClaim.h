#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

#include "serial/PortClaim.h"
#include "serial/TermiosCalls.h"

namespace zul {

// The claim of a Linux serial tty, every step through the system calls of
// calls (not owned):
// - an advisory flock on the descriptor (which also holds against root);
// - a UART node (major 4, or a node of the serial8250 driver) whose driver
//   reports no UART behind it (port type unknown) is missing (2); other
//   drivers (USB adapters, cdc-acm) never report a type and count as present;
// - on a real line (not a pseudo-terminal): a port that another process has
//   open (its /proc/<pid>/fd entry names the device; the scan is bounded in
//   time) is in use (5), and so is a port whose UUCP lock file (LCK..name in
//   /run/lock or /var/lock) names a living process. A lock whose process is
//   gone is removed; one that cannot be removed (another user's, in a sticky
//   folder) or that is a symbolic link is passed over, and the port opens
//   without a lock of ours. Otherwise a lock file of ours holds the port
//   against terminal programs that look for one while it is open, and goes
//   when the claim is released;
// - TIOCEXCL, keeping out other openers that take no lock; TIOCNXCL as it is
//   given back.
class TermiosClaim final : public PortClaim {
public:
    explicit TermiosClaim(TermiosCalls& calls) : sys_(calls) {}

    uint32_t Take(int fd, const std::string& path, Line& line) override;
    void Release(int fd) override;

    // The lock file of ours while the claim holds one ("" for none).
    const std::string& lockFile() const { return lockFile_; }

    // The longest the scan for other holders of the device may take.
    static constexpr int64_t kHolderScanNs = 200'000'000;

private:
    enum class Lock { kNone, kHeld, kStale };

    bool IsUartNode(dev_t device);
    bool HeldByAnotherProcess(const std::string& devicePath);
    Lock LockState(const std::string& lockPath);
    bool TakeLockFile(const std::string& realPath);

    TermiosCalls& sys_;
    std::string lockFile_;  // ours, removed on release
};

}  // namespace zul
