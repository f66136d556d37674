#include "e2e/SimProcess.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

namespace zul::test {

namespace {

using namespace std::chrono_literals;

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

SimProcess::SimProcess(const std::string& binary, const std::string& dir, const QStringList& args)
    : link_(dir + "/ttyZUL"), logPath_(dir + "/zul1x-sim.log"), errPath_(dir + "/zul1x-sim.err") {
    process_.setWorkingDirectory(QString::fromStdString(dir));
    process_.setStandardOutputFile(QString::fromStdString(logPath_));
    process_.setStandardErrorFile(QString::fromStdString(errPath_));
    process_.start(QString::fromStdString(binary),
                   QStringList{QStringLiteral("--link"), QString::fromStdString(link_)} + args);
    if (!process_.waitForStarted(10000)) return;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
        std::error_code error;
        if (std::filesystem::exists(link_, error)) {
            started_ = true;
            return;
        }
        if (process_.waitForFinished(20)) return;  // it ended: a bad option or no pty
    }
}

SimProcess::~SimProcess() {
    Stop();
}

int SimProcess::Stop() {
    if (process_.state() == QProcess::NotRunning) {
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    process_.terminate();  // SIGTERM: the tool removes its link and prints its summary
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(5000);
        return -1;
    }
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

std::string SimProcess::Log() const {
    return ReadWhole(logPath_);
}

std::string SimProcess::Errors() const {
    return ReadWhole(errPath_);
}

std::vector<uint8_t> SimProcess::Received(std::size_t atLeast, int waitMs) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    std::vector<uint8_t> received = ParseReceived(Log());
    while (received.size() < atLeast && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
        received = ParseReceived(Log());
    }
    return received;
}

std::vector<uint8_t> SimProcess::ParseReceived(const std::string& log) {
    // "    1.234  B6 EEPROM erase ... -> 06": the time in seconds, then the
    // command in hex. The summary's lines ("  B6 name  count") have no time.
    static const std::regex kExchange(R"(^\s*\d+\.\d{3}\s+([0-9A-F]{2})\s)");
    std::vector<uint8_t> commands;
    std::istringstream lines(log);
    std::string line;
    while (std::getline(lines, line)) {
        std::smatch match;
        if (std::regex_search(line, match, kExchange)) {
            commands.push_back(static_cast<uint8_t>(std::stoul(match[1].str(), nullptr, 16)));
        }
    }
    return commands;
}

}  // namespace zul::test
