#pragma once

#include <poll.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <termios.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zul {

// The system calls the termios device makes, one virtual each, so that a
// test can stand a model of a driver behind them (a slow drain, a port type,
// another holder, a wedged adapter). The program uses RealTermiosCalls().
// Each call returns what the system call of the same name returns and sets
// errno as it does.
class TermiosCalls {
public:
    virtual ~TermiosCalls() = default;

    virtual int Open(const char* path, int flags, mode_t mode) = 0;
    virtual int Close(int fd) = 0;
    virtual ssize_t Read(int fd, void* buffer, size_t size) = 0;
    virtual ssize_t Write(int fd, const void* bytes, size_t size) = 0;
    virtual int Ioctl(int fd, unsigned long request, void* argument) = 0;
    virtual int Flock(int fd, int operation) = 0;
    virtual int TcGetAttr(int fd, termios* tio) = 0;
    virtual int TcSetAttr(int fd, int actions, const termios* tio) = 0;
    virtual int TcFlush(int fd, int queue) = 0;
    virtual int Fstat(int fd, struct stat* st) = 0;
    // ppoll without a signal mask; a null timeout waits for ever.
    virtual int Poll(pollfd* fds, nfds_t count, const timespec* timeout) = 0;
    // CLOCK_MONOTONIC in nanoseconds.
    virtual int64_t NowNs() = 0;

    // The look-ups for other holders of a device, the driver behind it and
    // lock files. ReadLink gives the text of a symbolic link (also of a
    // /proc/<pid>/fd entry, which names the file without touching it); empty
    // when path is no link or cannot be read.
    virtual std::string ReadLink(const char* path) = 0;
    virtual int Unlink(const char* path) = 0;
    // The names in a directory ("." and ".." left out); empty when it cannot
    // be read.
    virtual std::vector<std::string> ListDirectory(const char* path) = 0;
    // The path with every link resolved; empty when it cannot be resolved.
    virtual std::string RealPath(const char* path) = 0;
    virtual int Kill(pid_t pid, int signal) = 0;
    virtual pid_t GetPid() = 0;
};

// The real system calls.
TermiosCalls& RealTermiosCalls();

}  // namespace zul
