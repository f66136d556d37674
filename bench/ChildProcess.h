#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace zul::bench {

// A program the benchmark runs beside itself: started with fork/exec, ended
// with SIGTERM, reaped with its resource usage. Not copyable; the destructor
// ends and reaps a child that still runs.
class ChildProcess {
public:
    // Starts argv[0] (a path) with argv, the environment of this process plus
    // env (name, value; an empty value removes the variable), in directory
    // dir (empty: this one), standard output and error appended to logPath
    // (empty: /dev/null). False when it could not be started.
    bool Start(const std::vector<std::string>& argv,
               const std::vector<std::pair<std::string, std::string>>& env = {},
               const std::string& dir = {}, const std::string& logPath = {});

    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Sends SIGTERM (when still running) and reaps the child.
    void Stop();
    // Reaps the child without a signal, waiting at most timeoutMs; true when
    // it had ended.
    bool Wait(int timeoutMs);

    // The resource usage of the reaped child (ru_maxrss in KiB).
    const rusage& usage() const { return usage_; }
    int status() const { return status_; }

private:
    pid_t pid_ = -1;
    int status_ = -1;
    rusage usage_{};
};

// Runs argv to its end (output discarded) and returns its exit code, -1 when
// it could not be started or was killed.
int RunToEnd(const std::vector<std::string>& argv);

}  // namespace zul::bench
