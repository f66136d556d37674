#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <system_error>

#include "records/ForwardLauncher.h"

extern char** environ;

namespace zul::records {

namespace {

// The signals a program may have caught or ignored that the forward must
// have at their defaults (a SIGPIPE ignored, a SIGTERM caught).
constexpr int kDefaultSignals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGPIPE, SIGALRM,
                                   SIGTERM, SIGUSR1, SIGUSR2, SIGCHLD};

}  // namespace

ForwardLauncher::ForwardLauncher(std::filesystem::path program) : program_(std::move(program)) {}

ForwardLauncher::~ForwardLauncher() {
    Reap();
}

void ForwardLauncher::Reap() {
    std::erase_if(children_, [](int64_t child) {
        int status = 0;
        const pid_t reaped = waitpid(static_cast<pid_t>(child), &status, WNOHANG);
        return reaped != 0;  // ended, or not ours to wait for (ECHILD)
    });
}

size_t ForwardLauncher::Unreaped() {
    Reap();
    return children_.size();
}

int64_t ForwardLauncher::Start(const std::string& spool, const std::string& folder,
                               std::string& error) {
    Reap();
    if (program_.empty()) {
        error = "no zul10-records program";
        return -1;
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // The serial port, the lock of the single copy, a settings file: none of
    // them stays open in the forward.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (const int signal : kDefaultSignals) sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::string program = program_.string();
    std::string command = "forward", spoolOption = "--spool", toOption = "--to";
    std::string spoolPath = spool, folderPath = folder;
    char* argv[] = {program.data(),   command.data(),  spoolOption.data(),
                    spoolPath.data(), toOption.data(), folderPath.data(),
                    nullptr};
    if (folder.empty()) argv[4] = nullptr;
    pid_t child = -1;
    const int failed = posix_spawn(&child, program.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) {
        error = program + " cannot be started (" + std::strerror(failed) + ")";
        return -1;
    }
    children_.push_back(child);
    return child;
}

std::filesystem::path ProgramBeside(const std::string& name) {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || self.empty()) return {};
    return self.parent_path() / name;
}

}  // namespace zul::records
