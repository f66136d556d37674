#include "bench/Sections.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

#include "adjust/AdjustmentData.h"
#include "adjust/ItemContext.h"
#include "adjust/ResultArea.h"
#include "app/MainForm.h"
#include "app/Wizard.h"
#include "bench/ChildProcess.h"
#include "bench/CountingClock.h"
#include "bench/CountingPort.h"
#include "bench/PtyUnit.h"
#include "serial/CommandExchange.h"
#include "serial/LineSettings.h"
#include "serial/LineTrace.h"
#include "serial/TermiosPort.h"
#include "tests/mock/FakeWizardView.h"

namespace zul::bench {

namespace {

namespace fs = std::filesystem;

double CpuMsOfSelf() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

double WallMs() {
    return static_cast<double>(MonotonicNs()) / 1e6;
}

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Waits up to 5 s for path to appear; true when it did.
bool WaitForPath(const std::string& path) {
    for (int i = 0; i < 500; ++i) {
        std::error_code ec;
        if (fs::exists(fs::symlink_status(path, ec))) return true;
        SleepMs(10);
    }
    return false;
}

// Starts the simulator with the healthy unit behind link; empty on success,
// else what went wrong.
std::string StartSim(const BenchOptions& options, const std::string& name, ChildProcess& sim,
                     std::string& link) {
    link = options.workDir + "/" + name + ".tty";
    const std::string log = options.workDir + "/" + name + ".sim.log";
    if (!sim.Start({options.simPath, "--link", link, "--latency-ms",
                    std::to_string(options.latencyMs), "--preset", "healthy"},
                   {}, {}, log)) {
        return "cannot start " + options.simPath;
    }
    if (!WaitForPath(link)) return "the simulator made no link (see " + log + ")";
    return {};
}

// Opens port on device at 9600 baud, 8E1, as COM1.
std::string OpenOn(TermiosPort& port, const std::string& device) {
    setenv("ZUL10_COM1", device.c_str(), 1);
    if (const uint32_t rc = port.OpenDevice("COM1"); rc != SerialPort::kOk) {
        return "cannot open " + device + " (code " + std::to_string(rc) + ")";
    }
    LineSettings line;
    line.portName = "COM1";
    if (const uint32_t rc = port.Configure(line); rc != SerialPort::kOk) {
        return "cannot configure " + device + " (code " + std::to_string(rc) + ")";
    }
    return {};
}

// Starts the simulator (StartSim) and opens port on its line (OpenOn).
std::string StartSimAndOpen(const BenchOptions& options, const std::string& name, ChildProcess& sim,
                            TermiosPort& port) {
    std::string link;
    const std::string failure = StartSim(options, name, sim, link);
    return failure.empty() ? OpenOn(port, link) : failure;
}

}  // namespace

FullRunResult MeasureFullRun(const BenchOptions& options, const std::string& tracePath) {
    FullRunResult r;
    ChildProcess sim;
    TermiosPort termios;
    LineTrace trace;
    if (!tracePath.empty()) {
        std::string error;
        if (!trace.Open(tracePath, "zul-bench full run", error)) {
            r.failure = "cannot open " + tracePath + ": " + error;
            return r;
        }
        termios.SetMonitor(&trace);
    }
    if (r.failure = StartSimAndOpen(options, tracePath.empty() ? "fullrun" : "fullrun-monitored",
                                    sim, termios);
        !r.failure.empty()) {
        return r;
    }

    CountingPort port(termios);
    CountingClock clock;
    AdjustmentData data;
    CommandExchange exchange(port, data.reply);
    MemoryResultArea result;
    ItemContext ctx{exchange, data, result, clock};
    test::FakeWizardView view;
    Wizard wizard(view, ctx);

    const double cpu0 = CpuMsOfSelf();
    const double wall0 = WallMs();
    // Start, then Next through every step back to the idle screen.
    for (int click = 0; click < 12; ++click) {
        wizard.StartClick();
        if (wizard.AdjStep() < 0) {
            r.failure = "the run failed at click " + std::to_string(click + 1) + ":";
            for (const std::string& line : result.Lines()) r.failure += " | " + line;
            return r;
        }
        if (wizard.AdjStep() == 0) break;
    }
    r.wallMs = WallMs() - wall0;
    r.cpuMs = CpuMsOfSelf() - cpu0;
    if (wizard.AdjStep() != 0) {
        r.failure = "the run did not come back to the idle screen";
        return r;
    }
    r.waitsMs = clock.sleptMs;
    r.waits = clock.sleeps;
    r.exchanges = port.writes;
    r.bytesWritten = port.bytesWritten;
    r.bytesRead = port.bytesRead;
    r.shortReads = port.shortReads;
    r.writeMs = port.writeMs;
    r.writeMaxMs = port.writeMaxMs;
    const double bytes = static_cast<double>(r.bytesWritten + r.bytesRead);
    r.floorMs = static_cast<double>(r.waitsMs) + bytes * kByteTimeMs +
                static_cast<double>(r.exchanges * options.latencyMs);
    // The simulator: latency from taking the command, then a byte time
    // between the answer bytes (none before the first).
    const double answered = static_cast<double>(r.exchanges - r.shortReads);
    r.simFloorMs = static_cast<double>(r.waitsMs) +
                   static_cast<double>(r.exchanges * options.latencyMs) +
                   (static_cast<double>(r.bytesRead) - answered) * kByteTimeMs;
    r.ok = true;
    return r;
}

MagResult MeasureMagDisplay(const BenchOptions& options, int& argc, char** argv) {
    MagResult r;
    ChildProcess sim;
    TermiosPort termios;
    if (r.failure = StartSimAndOpen(options, "mag", sim, termios); !r.failure.empty()) return r;
    CountingPort port(termios);
    SystemClock clock;

    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    TMainForm form(port, clock);
    form.show();
    QCoreApplication::processEvents();
    // Through the first items to the live mag display (AdjStep 9).
    for (int click = 0; click < 10 && form.AdjStep() != 9; ++click) {
        form.btnStartClick();
        QCoreApplication::processEvents();
        if (form.AdjStep() < 0) {
            r.failure = "the run failed before the mag display";
            return r;
        }
    }
    if (form.AdjStep() != 9 || !form.timer().isActive()) {
        r.failure = "the mag display did not start";
        return r;
    }
    const uint64_t writes0 = port.writes;
    const double cpu0 = CpuMsOfSelf();
    const double wall0 = WallMs();
    QTimer::singleShot(static_cast<int>(options.magSeconds * 1000), &app, &QApplication::quit);
    app.exec();
    r.wallMs = WallMs() - wall0;
    r.cpuMs = CpuMsOfSelf() - cpu0;
    r.polls = port.writes - writes0;
    if (form.AdjStep() != 9) {
        r.failure = "the mag display ended by itself";
        return r;
    }
    form.btnExitClick();  // Cancel: the timer stops, back to the idle screen
    r.ok = true;
    return r;
}

LatencyResult MeasureExchangeLatency(const BenchOptions& options, uint32_t replyLength) {
    LatencyResult r;
    PtyUnit unit;
    const auto byteTimeUs = static_cast<uint32_t>(kByteTimeMs * 1000.0);
    if (r.failure = unit.Start(options.workDir + "/latency.tty", replyLength,
                               options.latencyMs * 1000, byteTimeUs);
        !r.failure.empty()) {
        return r;
    }
    TermiosPort port;
    if (r.failure = OpenOn(port, unit.slaveName()); !r.failure.empty()) return r;

    constexpr uint32_t kWarmUp = 5;
    std::vector<double> latencies;
    std::array<uint8_t, 64> buffer{};
    const uint8_t command = 0x05;
    for (uint32_t i = 0; i < options.exchanges + kWarmUp; ++i) {
        if (!port.WritePort({&command, 1})) {
            r.failure = "write failed";
            return r;
        }
        const uint32_t n = port.ReadPort({buffer.data(), replyLength});
        const int64_t returned = MonotonicNs();
        if (n != replyLength) {
            r.failure = "short answer at exchange " + std::to_string(i);
            return r;
        }
        if (unit.WaitForStamps(i + 1) < i + 1) {
            r.failure = "the unit did not stamp its answer";
            return r;
        }
        if (i >= kWarmUp) {
            latencies.push_back(static_cast<double>(returned - unit.Stamps()[i]) / 1000.0);
        }
    }
    r.us = Summarize(std::move(latencies));
    r.ok = true;
    return r;
}

std::vector<TimeoutCase> MeasureReadTimeouts(const BenchOptions& options, std::string& failure) {
    std::vector<TimeoutCase> cases;
    PtyUnit unit;
    if (failure = unit.Start(options.workDir + "/silent.tty", 0, 0, 0); !failure.empty()) {
        return cases;
    }
    TermiosPort port;
    if (failure = OpenOn(port, unit.slaveName()); !failure.empty()) return cases;

    struct Constant {
        uint16_t ms;
        uint32_t reps;
    };
    const Constant constants[] = {
        {50, options.timeoutReps},
        {200, std::max<uint32_t>(1, options.timeoutReps / 2)},
        {2000, std::max<uint32_t>(1, options.timeoutReps / 5)},
    };
    std::array<uint8_t, 64> buffer{};
    for (const uint32_t count : {1u, 2u, 12u, 31u}) {
        for (const Constant& c : constants) {
            port.SetReadTimeout(c.ms);
            std::vector<double> lateness;
            for (uint32_t rep = 0; rep < c.reps; ++rep) {
                const int64_t t0 = MonotonicNs();
                const uint32_t n = port.ReadPort({buffer.data(), count});
                const int64_t t1 = MonotonicNs();
                if (n != 0) {
                    failure = "the silent unit delivered bytes";
                    return cases;
                }
                const double expected = 10.0 * count + c.ms;
                lateness.push_back(static_cast<double>(t1 - t0) / 1e6 - expected);
            }
            cases.push_back({count, c.ms, Summarize(std::move(lateness))});
        }
    }
    return cases;
}

StartupResult MeasureStartup(const BenchOptions& options) {
    StartupResult r;
    // A free display number for our own X server.
    int display = 90;
    while (display < 200 && (fs::exists("/tmp/.X11-unix/X" + std::to_string(display)) ||
                             fs::exists("/tmp/.X" + std::to_string(display) + "-lock"))) {
        ++display;
    }
    const std::string name = ":" + std::to_string(display);
    ChildProcess xvfb;
    if (!xvfb.Start({"/usr/bin/Xvfb", name, "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, {},
                    {}, options.workDir + "/xvfb.log")) {
        r.failure = "cannot start Xvfb";
        return r;
    }
    if (!WaitForPath("/tmp/.X11-unix/X" + std::to_string(display))) {
        r.failure = "Xvfb did not come up (see xvfb.log)";
        return r;
    }
    ChildProcess sim;
    std::string link;
    if (r.failure = StartSim(options, "startup", sim, link); !r.failure.empty()) return r;

    const std::string dir = options.workDir + "/startup";
    fs::create_directories(dir);
    setenv("DISPLAY", name.c_str(), 1);  // for the program and xdotool

    std::vector<double> shown;
    for (uint32_t run = 0; run < options.startups; ++run) {
        ChildProcess program;
        const double t0 = WallMs();
        if (!program.Start({options.zul10Path},
                           {{"ZUL10_COM1", link},
                            {"XDG_RUNTIME_DIR", options.workDir + "/runtime"},
                            {"QT_QPA_PLATFORM", ""}},
                           dir, options.workDir + "/zul10.log")) {
            r.failure = "cannot start " + options.zul10Path;
            break;
        }
        std::optional<double> found;
        while (WallMs() - t0 < 30000) {
            if (RunToEnd({"/usr/bin/xdotool", "search", "--onlyvisible", "--name",
                          "^ZUL-1x Adjustment Program$"}) == 0) {
                found = WallMs() - t0;
                break;
            }
            if (program.Wait(0)) break;  // it ended: no window will come
            SleepMs(5);
        }
        if (!found) {
            r.failure = "the main window did not appear (see zul10.log)";
            break;
        }
        shown.push_back(*found);
        SleepMs(1000);  // idle with the window up
        program.Stop();
        r.maxRssKiB = std::max(r.maxRssKiB, program.usage().ru_maxrss);
    }
    unsetenv("DISPLAY");
    if (!r.failure.empty()) return r;
    r.shownMs = Summarize(std::move(shown));
    r.ok = true;
    return r;
}

}  // namespace zul::bench
