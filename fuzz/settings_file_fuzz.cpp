// Any bytes as the settings file: the reader never crashes, always leaves
// every selection within its radio group with the matching line value, reads
// a file exactly as the same bytes in memory, and the file written from the
// selection it found reads back as that selection.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "serial/SettingsFile.h"

namespace {

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "settings_file_fuzz: %s\n", what);
        std::abort();
    }
}

void CheckConsistent(const zul::PortSettings& s, const zul::LineSettings& line) {
    Check(s.port >= 0 && s.port <= 6, "port index out of range");
    Check(s.baud >= 0 && s.baud <= 4, "baud index out of range");
    Check(s.stopBits >= 0 && s.stopBits <= 1, "stop-bit index out of range");
    Check(s.parity >= 0 && s.parity <= 2, "parity index out of range");
    Check(line.portName == zul::PortNameForIndex(s.port), "port name differs from its index");
    Check(line.baudRate == zul::BaudRateForIndex(s.baud), "baud rate differs from its index");
    Check(line.stopBits == zul::StopBitsForIndex(s.stopBits), "stop bits differ from its index");
    Check(line.parity == zul::ParityForIndex(s.parity), "parity differs from its index");
    Check(line.byteSize == 8, "byte size is not 8");
}

// An in-memory file the reader opens by path.
const std::string& MemoryFilePath(int& fd) {
    static int memoryFd = memfd_create("ZUL1x_comm.ini", 0);
    static const std::string path = "/proc/self/fd/" + std::to_string(memoryFd);
    fd = memoryFd;
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string content(reinterpret_cast<const char*>(data), size);

    zul::PortSettings parsed{-7, 99, -1, 3};
    zul::LineSettings parsedLine{"junk", 1, 9, 5, 7};
    zul::ParseSettingsFile(content, parsed, parsedLine);
    CheckConsistent(parsed, parsedLine);

    // Written and read back: the same selection.
    zul::PortSettings again{-1, -1, -1, -1};
    zul::LineSettings againLine;
    zul::ParseSettingsFile(zul::FormatSettingsFile(parsed), again, againLine);
    Check(again == parsed, "written selection does not read back");
    Check(againLine == parsedLine, "written line settings do not read back");

    // The same bytes as a file, read in blocks, give the same result.
    int fd = -1;
    const std::string& path = MemoryFilePath(fd);
    if (fd >= 0 && ftruncate(fd, 0) == 0 &&
        pwrite(fd, data, size, 0) == static_cast<ssize_t>(size)) {
        zul::PortSettings fromFile{-1, -1, -1, -1};
        zul::LineSettings fromFileLine;
        zul::ReadSettingsFile(path, fromFile, fromFileLine);
        Check(fromFile == parsed, "file reads unlike its content");
        Check(fromFileLine == parsedLine, "file line settings unlike its content");
    }
    return 0;
}
