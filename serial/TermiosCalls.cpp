#include "serial/TermiosCalls.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <ctime>
#include <memory>

namespace zul {

namespace {

class SystemCalls final : public TermiosCalls {
public:
    int Open(const char* path, int flags, mode_t mode) override { return open(path, flags, mode); }
    int Close(int fd) override { return close(fd); }
    ssize_t Read(int fd, void* buffer, size_t size) override { return read(fd, buffer, size); }
    ssize_t Write(int fd, const void* bytes, size_t size) override {
        return write(fd, bytes, size);
    }
    int Ioctl(int fd, unsigned long request, void* argument) override {
        return ioctl(fd, request, argument);
    }
    int Flock(int fd, int operation) override { return flock(fd, operation); }
    int TcGetAttr(int fd, termios* tio) override { return tcgetattr(fd, tio); }
    int TcSetAttr(int fd, int actions, const termios* tio) override {
        return tcsetattr(fd, actions, tio);
    }
    int TcFlush(int fd, int queue) override { return tcflush(fd, queue); }
    int Fstat(int fd, struct stat* st) override { return fstat(fd, st); }
    int Poll(pollfd* fds, nfds_t count, const timespec* timeout) override {
        return ppoll(fds, count, timeout, nullptr);
    }
    int64_t NowNs() override {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
    }
    std::string ReadLink(const char* path) override {
        std::array<char, 4096> text{};
        const ssize_t n = readlink(path, text.data(), text.size());
        if (n <= 0 || static_cast<size_t>(n) >= text.size()) return {};
        return std::string(text.data(), static_cast<size_t>(n));
    }
    int Unlink(const char* path) override { return unlink(path); }
    std::vector<std::string> ListDirectory(const char* path) override {
        std::vector<std::string> names;
        const std::unique_ptr<DIR, int (*)(DIR*)> dir(opendir(path), closedir);
        if (!dir) return names;
        while (const dirent* entry = readdir(dir.get())) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        return names;
    }
    std::string RealPath(const char* path) override {
        const std::unique_ptr<char, void (*)(void*)> resolved(realpath(path, nullptr), free);
        return resolved ? std::string(resolved.get()) : std::string();
    }
    int Kill(pid_t pid, int signal) override { return kill(pid, signal); }
    pid_t GetPid() override { return getpid(); }
};

}  // namespace

TermiosCalls& RealTermiosCalls() {
    static SystemCalls calls;
    return calls;
}

}  // namespace zul
