#pragma once

// The serial port of the platform the program is built for.
#ifdef _WIN32
#include "serial/Win32Port.h"
namespace zul {
using PlatformPort = Win32Port;
}
#else
#include "serial/TermiosPort.h"
namespace zul {
using PlatformPort = TermiosPort;
}
#endif
