#pragma once

#include <cstdint>
#include <string>

#include "serial/LineDevice.h"

namespace zul {

// What keeps a serial port to this program while it is open, beyond the open
// descriptor itself: the checks that the port is really there and free, and
// the marks that tell other programs it is taken. The termios device takes
// one as it opens the port and gives it back as it closes it, whatever made
// it close (Close, a failed open or configuration, a hang-up).
//
// One implementation per kind of system: TermiosClaim (Linux) in a file of
// its own. Tests give the device one of their own.
class PortClaim {
public:
    virtual ~PortClaim() = default;

    // What the claim found out about the line it claimed.
    struct Line {
        bool pseudoTerminal = false;
        // How late a received byte reaches the receive queue on this kind of
        // line (LineDevice::Delivery): 0 on a pseudo-terminal, a UART's FIFO
        // time-out, a USB adapter's latency timer.
        LineDevice::ReceiveDelay delivery;
    };

    // Claims the port open as fd, reached by path (the device path the port
    // name maps to). Returns SerialPort::kOk with line filled in, or the
    // error code to show the operator: 2 for a port that is not there, 5 for
    // one another program holds (the device then must be closed; Release is
    // called for it all the same).
    virtual uint32_t Take(int fd, const std::string& path, Line& line) = 0;

    // Gives back what Take took for fd, before fd is closed. Nothing when
    // nothing was taken.
    virtual void Release(int fd) = 0;
};

}  // namespace zul
