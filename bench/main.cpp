// zul-bench: how fast and how lean the adjustment program is against the
// simulated unit on a pseudo-terminal. Prints one table, every figure next to
// its floor or target, and the machine it was measured on.

#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "bench/Sections.h"

namespace {

using namespace zul::bench;

constexpr const char* kUsage = R"(Usage: zul-bench [options]

Runs the adjustment program's timing, CPU and memory figures against the
simulated unit (zul1x-sim) and a unit of its own on pseudo-terminals, and
prints them as a table beside their floors and targets.

Options:
  --sim PATH           the simulator (default: the one built with the bench)
  --zul10 PATH         the program (default: the one built with the bench)
  --latency-ms N       the unit's latency before its first answer byte (default 3)
  --mag-seconds N      length of the live mag display (default 60)
  --exchanges N        exchanges per reply length for the latency (default 200)
  --timeout-reps N     silent reads per length at the 50 ms constant (default 10;
                       half as many at 200 ms, a fifth at 2000 ms)
  --startups N         start-ups of the program under Xvfb (default 3)
  --monitor-pairs N    further full runs with the line monitor off and on, in turn,
                       compared by their medians (default 1)
  --quick              a short run: 10 s mag display, 50 exchanges, 5 reps, 1 start-up
  --keep               keep the scratch directory (logs of the simulator and the program)
  --help               show this text
)";

struct Row {
    std::string figure;
    std::string measured;
    std::string target;
    std::string verdict;  // "ok", "MISSED", or "-" (information only)
};

std::string Format(const char* format, double a, double b = 0, double c = 0, double d = 0) {
    char text[256];
    std::snprintf(text, sizeof text, format, a, b, c, d);
    return text;
}

std::string Verdict(bool met) {
    return met ? "ok" : "MISSED";
}

std::string ReadFirstLine(const char* path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string CpuModel() {
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("model name", 0) == 0) {
            const size_t colon = line.find(':');
            if (colon != std::string::npos) return line.substr(colon + 2);
        }
    }
    return "unknown";
}

std::string LoadAverage() {
    const std::string line = ReadFirstLine("/proc/loadavg");
    // "0.52 0.58 0.59 1/467 12345": the three averages.
    size_t end = 0;
    for (int i = 0; i < 3 && end != std::string::npos; ++i) end = line.find(' ', end + 1);
    return line.substr(0, end);
}

bool ParseCount(const char* text, uint32_t& value) {
    char* end = nullptr;
    const unsigned long n = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0' || text[0] == '-' || n > 1000000) return false;
    value = static_cast<uint32_t>(n);
    return true;
}

// Returns 0 to go on, -1 to end with 0 (help), otherwise the exit code.
int ParseOptions(int argc, char** argv, BenchOptions& options, bool& keep) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return -1;
        }
        if (arg == "--keep") {
            keep = true;
            continue;
        }
        if (arg == "--quick") {
            options.magSeconds = 10;
            options.exchanges = 50;
            options.timeoutReps = 5;
            options.startups = 1;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "zul-bench: %s needs a value (see --help)\n", argv[i]);
            return 2;
        }
        const char* v = argv[++i];
        bool ok = true;
        if (arg == "--sim") {
            options.simPath = v;
        } else if (arg == "--zul10") {
            options.zul10Path = v;
        } else if (arg == "--latency-ms") {
            ok = ParseCount(v, options.latencyMs);
        } else if (arg == "--mag-seconds") {
            ok = ParseCount(v, options.magSeconds) && options.magSeconds > 0;
        } else if (arg == "--exchanges") {
            ok = ParseCount(v, options.exchanges) && options.exchanges > 0;
        } else if (arg == "--timeout-reps") {
            ok = ParseCount(v, options.timeoutReps) && options.timeoutReps > 0;
        } else if (arg == "--startups") {
            ok = ParseCount(v, options.startups) && options.startups > 0;
        } else if (arg == "--monitor-pairs") {
            ok = ParseCount(v, options.monitorPairs) && options.monitorPairs > 0;
        } else {
            std::fprintf(stderr, "zul-bench: unknown option %s (see --help)\n", argv[i - 1]);
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "zul-bench: bad value '%s' for %s\n", v, argv[i - 1]);
            return 2;
        }
    }
    return 0;
}

void Progress(const char* what) {
    std::fprintf(stderr, "zul-bench: %s ...\n", what);
}

}  // namespace

int main(int argc, char** argv) {
    BenchOptions options;
    options.simPath = ZUL_BENCH_SIM_PATH;
    options.zul10Path = ZUL_BENCH_ZUL10_PATH;
    bool keep = false;
    if (const int rc = ParseOptions(argc, argv, options, keep); rc != 0) return rc < 0 ? 0 : rc;

    char scratch[] = "/tmp/zul-bench.XXXXXX";
    if (mkdtemp(scratch) == nullptr) {
        std::perror("zul-bench: mkdtemp");
        return 1;
    }
    options.workDir = scratch;
    // Qt wants a private runtime directory; the program's single-instance
    // lock goes there too.
    const std::string runtime = options.workDir + "/runtime";
    std::filesystem::create_directories(runtime);
    chmod(runtime.c_str(), 0700);
    setenv("XDG_RUNTIME_DIR", runtime.c_str(), 0);

    utsname uts{};
    uname(&uts);
    const std::string loadBefore = LoadAverage();

    std::vector<Row> rows;
    std::vector<std::string> notes;

    Progress("full healthy run");
    const FullRunResult run = MeasureFullRun(options);
    if (run.ok) {
        const double overhead = run.wallMs - run.floorMs;
        const double share = overhead / run.floorMs * 100.0;
        rows.push_back({"Full healthy run, total", Format("%.1f ms", run.wallMs),
                        Format("floor %.1f ms", run.floorMs), "-"});
        rows.push_back({"  overhead over the floor", Format("%+.1f ms (%+.2f %%)", overhead, share),
                        "<= 1 %", Verdict(share <= 1.0)});
        rows.push_back({"  overhead over what the simulator needs",
                        Format("%+.1f ms (%+.2f %%)", run.wallMs - run.simFloorMs,
                               (run.wallMs - run.simFloorMs) / run.simFloorMs * 100.0),
                        Format("sim floor %.1f ms", run.simFloorMs), "-"});
        rows.push_back(
            {"  in the write (tail check, purge, send)",
             Format("%.3f ms an exchange, %.1f ms max, %.1f ms in all",
                    run.writeMs / static_cast<double>(run.exchanges), run.writeMaxMs, run.writeMs),
             "-", "-"});
        const double cpuShare = run.cpuMs / run.wallMs * 100.0;
        rows.push_back({"CPU during the full run", Format("%.1f ms (%.2f %%)", run.cpuMs, cpuShare),
                        "<= 2 % of wall", Verdict(cpuShare <= 2.0)});
        notes.push_back(Format("full run: %.0f waits, %.0f ms of waits, %.0f exchanges, ",
                               run.waits, static_cast<double>(run.waitsMs), run.exchanges) +
                        Format("%.0f bytes written, %.0f read, %.0f short reads", run.bytesWritten,
                               run.bytesRead, run.shortReads));
    } else {
        rows.push_back({"Full healthy run", "failed: " + run.failure, "", "MISSED"});
    }

    // The same run with the line monitor writing every event to a file,
    // in turn with further runs without it; their medians are compared.
    Progress("full healthy runs, line monitor off and on in turn");
    std::vector<double> offMs, onMs, onCpuMs;
    std::string monitorFailure = run.ok ? "" : run.failure;
    for (uint32_t pair = 0; pair < options.monitorPairs && monitorFailure.empty(); ++pair) {
        if (pair > 0) {
            const FullRunResult off = MeasureFullRun(options);
            if (!off.ok) monitorFailure = off.failure;
            offMs.push_back(off.wallMs);
        } else {
            offMs.push_back(run.wallMs);
        }
        const FullRunResult on = MeasureFullRun(options, options.workDir + "/fullrun.trace");
        if (!on.ok) monitorFailure = on.failure;
        onMs.push_back(on.wallMs);
        onCpuMs.push_back(on.cpuMs);
    }
    if (monitorFailure.empty()) {
        const double off = Summarize(offMs).median, on = Summarize(onMs).median;
        const double share = (on - off) / off * 100.0;
        rows.push_back({Format("Full healthy run, line monitor off (median of %.0f)",
                               static_cast<double>(offMs.size())),
                        Format("%.1f ms", off), "-", "-"});
        rows.push_back({Format("Full healthy run, line monitor on (median of %.0f)",
                               static_cast<double>(onMs.size())),
                        Format("%.1f ms (%+.1f ms, %+.2f %%)", on, on - off, share),
                        "within 0.5 % of off", Verdict(std::abs(share) <= 0.5)});
        rows.push_back({"CPU during a monitored run (median)",
                        Format("%.1f ms", Summarize(onCpuMs).median), "-", "-"});
    } else {
        rows.push_back(
            {"Full healthy run, line monitor on", "failed: " + monitorFailure, "", "MISSED"});
    }

    Progress("exchange latency");
    for (const uint32_t length : {1u, 12u}) {
        const LatencyResult lat = MeasureExchangeLatency(options, length);
        const std::string name = "Exchange latency, " + std::to_string(length) + "-byte answer";
        if (!lat.ok) {
            rows.push_back({name, "failed: " + lat.failure, "", "MISSED"});
            continue;
        }
        rows.push_back({name + ", median", Format("%.3f ms", lat.us.median / 1000.0), "-", "-"});
        rows.push_back({name + ", p99", Format("%.3f ms", lat.us.p99 / 1000.0), "<= 1 ms",
                        Verdict(lat.us.p99 <= 1000.0)});
        notes.push_back(Format("latency %.0f-byte answer: %.0f exchanges, min %.3f ms, max %.3f ms",
                               length, static_cast<double>(lat.us.count), lat.us.min / 1000.0,
                               lat.us.max / 1000.0));
    }

    Progress("read time-outs of a silent unit");
    std::string timeoutFailure;
    const std::vector<TimeoutCase> timeouts = MeasureReadTimeouts(options, timeoutFailure);
    if (!timeoutFailure.empty()) {
        rows.push_back({"Read time-out", "failed: " + timeoutFailure, "", "MISSED"});
    }
    for (const TimeoutCase& c : timeouts) {
        const bool met = c.latenessMs.min >= 0 && c.latenessMs.max <= 2.0;
        rows.push_back({Format("Read time-out n=%.0f, constant %.0f ms (%.0fx)", c.count,
                               c.constantMs, static_cast<double>(c.latenessMs.count)),
                        Format("late %.3f / %.3f / %.3f ms", c.latenessMs.min, c.latenessMs.median,
                               c.latenessMs.max),
                        "0 .. 2 ms late", Verdict(met)});
    }

    Progress("live mag display");
    const MagResult mag = MeasureMagDisplay(options, argc, argv);
    if (mag.ok) {
        const double share = mag.cpuMs / mag.wallMs * 100.0;
        rows.push_back({Format("CPU during %.0f s of the live mag display", mag.wallMs / 1000.0),
                        Format("%.1f ms (%.2f %%)", mag.cpuMs, share), "<= 2 % of wall",
                        Verdict(share <= 2.0)});
        notes.push_back(Format("mag display: %.0f polls in %.1f s", static_cast<double>(mag.polls),
                               mag.wallMs / 1000.0));
    } else {
        rows.push_back({"Live mag display", "failed: " + mag.failure, "", "MISSED"});
    }

    Progress("start-up under Xvfb");
    const StartupResult start = MeasureStartup(options);
    if (start.ok) {
        rows.push_back(
            {Format("Start-up to the shown window (%.0fx)",
                    static_cast<double>(start.shownMs.count)),
             Format("median %.0f ms, max %.0f ms", start.shownMs.median, start.shownMs.max), "-",
             "-"});
        rows.push_back({"Peak resident memory of zul10",
                        Format("%.1f MiB", static_cast<double>(start.maxRssKiB) / 1024.0), "-",
                        "-"});
    } else {
        rows.push_back({"Start-up", "failed: " + start.failure, "", "MISSED"});
    }

    size_t widths[3] = {6, 8, 12};
    for (const Row& row : rows) {
        widths[0] = std::max(widths[0], row.figure.size());
        widths[1] = std::max(widths[1], row.measured.size());
        widths[2] = std::max(widths[2], row.target.size());
    }
    const auto w = [&](int i) { return static_cast<int>(widths[i]); };
    std::printf("\nMachine: %ld cores, %s, %s %s\n", sysconf(_SC_NPROCESSORS_ONLN),
                CpuModel().c_str(), uts.sysname, uts.release);
    std::printf("Load average: %s before, %s after\n", loadBefore.c_str(), LoadAverage().c_str());
    std::printf("Unit latency %u ms, 9600 baud 8E1 (%.3f ms a byte)\n\n", options.latencyMs,
                kByteTimeMs);
    std::printf("| %-*s | %-*s | %-*s | %s |\n", w(0), "Figure", w(1), "Measured", w(2),
                "Floor/target", "Verdict");
    std::printf("|%s|%s|%s|---------|\n", std::string(widths[0] + 2, '-').c_str(),
                std::string(widths[1] + 2, '-').c_str(), std::string(widths[2] + 2, '-').c_str());
    for (const Row& row : rows) {
        std::printf("| %-*s | %-*s | %-*s | %-7s |\n", w(0), row.figure.c_str(), w(1),
                    row.measured.c_str(), w(2), row.target.c_str(), row.verdict.c_str());
    }
    std::printf("\n");
    for (const std::string& note : notes) std::printf("- %s\n", note.c_str());
    std::printf("(time-outs: lateness min / median / max)\n");
    if (keep) {
        std::printf("scratch files in %s\n", scratch);
    } else {
        std::error_code ec;
        std::filesystem::remove_all(scratch, ec);
    }
    return 0;
}
