#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zul::records {

// Starts zul10-records forward as a process of its own after a record was
// spooled, and never waits for it: the window's thread goes on at once, and
// a forward that hangs on a dead share hangs alone. Each platform has its own
// file (POSIX, Win32).
class ForwardLauncher {
public:
    // program: the zul10-records program (the one beside the program's own,
    // ProgramBeside; a test gives the one it built). Empty: Start starts
    // nothing.
    explicit ForwardLauncher(std::filesystem::path program);
    // Reaps the forwards that ended; one still running is left to run.
    ~ForwardLauncher();
    ForwardLauncher(const ForwardLauncher&) = delete;
    ForwardLauncher& operator=(const ForwardLauncher&) = delete;

    // Starts "PROGRAM forward --spool SPOOL --to FOLDER" (without "--to
    // FOLDER" when folder is empty: a station that sends its records only to
    // a database, which the forward finds in the station's settings, as it
    // does a database beside the folder). Linux: posix_spawn
    // in a session of its own, every descriptor of this process closed in it
    // but the standard three, which lead to /dev/null, and the signals at
    // their defaults. Windows: CreateProcessW without a console or a window,
    // no handle inherited, and its handles closed here at once. The forwards
    // started before that ended are reaped first, without waiting. Returns
    // the new process's id, or -1 with the reason in error.
    int64_t Start(const std::string& spool, const std::string& folder, std::string& error);

    // How many started forwards were not yet seen to end (0 on Windows,
    // where nothing is kept of them).
    size_t Unreaped();

private:
    void Reap();

    std::filesystem::path program_;
    std::vector<int64_t> children_;
};

// The program called name in the folder of this process's own executable
// (/proc/self/exe; GetModuleFileNameW, with ".exe" added); empty when the
// system does not tell.
std::filesystem::path ProgramBeside(const std::string& name);

}  // namespace zul::records
