#include "bench/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace zul::bench {

bool ChildProcess::Start(const std::vector<std::string>& argv,
                         const std::vector<std::pair<std::string, std::string>>& env,
                         const std::string& dir, const std::string& logPath) {
    if (argv.empty() || pid_ > 0) return false;
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        for (const auto& [name, value] : env) {
            if (value.empty()) {
                unsetenv(name.c_str());
            } else {
                setenv(name.c_str(), value.c_str(), 1);
            }
        }
        if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(126);
        const int out = open(logPath.empty() ? "/dev/null" : logPath.c_str(),
                             O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (out >= 0) {
            dup2(out, STDOUT_FILENO);
            dup2(out, STDERR_FILENO);
            close(out);
        }
        const int in = open("/dev/null", O_RDONLY);
        if (in >= 0) {
            dup2(in, STDIN_FILENO);
            close(in);
        }
        execv(args[0], args.data());
        _exit(127);
    }
    pid_ = pid;
    status_ = -1;
    usage_ = {};
    return true;
}

ChildProcess::~ChildProcess() {
    Stop();
}

bool ChildProcess::Wait(int timeoutMs) {
    if (pid_ <= 0) return true;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const pid_t got = wait4(pid_, &status_, WNOHANG, &usage_);
        if (got == pid_ || (got < 0 && errno != EINTR)) {
            pid_ = -1;
            return true;
        }
        if (std::chrono::steady_clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void ChildProcess::Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (!Wait(5000)) {
        kill(pid_, SIGKILL);
        Wait(5000);
    }
}

int RunToEnd(const std::vector<std::string>& argv) {
    ChildProcess child;
    if (!child.Start(argv)) return -1;
    while (!child.Wait(60000)) {
    }
    const int status = child.status();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace zul::bench
