#pragma once

#include <QProcess>
#include <QStringList>
#include <cstdint>
#include <string>
#include <vector>

namespace zul::test {

// The simulator tool zul1x-sim run as a separate process, serving its unit on
// a pseudo-terminal whose link lies in a directory of the test. Its exchange
// log (stdout) goes to zul1x-sim.log and its errors to zul1x-sim.err in that
// directory.
class SimProcess {
public:
    // Starts binary with `--link <dir>/ttyZUL` followed by args, and waits up
    // to 10 s for the link to appear. Started() tells whether it did.
    SimProcess(const std::string& binary, const std::string& dir, const QStringList& args);
    // Stop() if still running.
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool Started() const { return started_; }
    const std::string& link() const { return link_; }

    // Sends SIGTERM and waits up to 5 s (then kills it). Returns the exit
    // code, or -1 when it crashed or had to be killed.
    int Stop();

    // The whole exchange log so far.
    std::string Log() const;
    // What the tool wrote to stderr so far.
    std::string Errors() const;

    // The command bytes the unit has received, in order, read from the log.
    // The tool logs an exchange once its answer is out, so this waits up to
    // waitMs for at least atLeast commands to be logged before it reads.
    std::vector<uint8_t> Received(std::size_t atLeast = 0, int waitMs = 2000) const;

    // The command bytes of a log text (lines "   t.ttt  CC name -> answer").
    static std::vector<uint8_t> ParseReceived(const std::string& log);

private:
    QProcess process_;
    std::string link_;
    std::string logPath_;
    std::string errPath_;
    bool started_ = false;
};

}  // namespace zul::test
