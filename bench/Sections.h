#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "bench/Stats.h"

namespace zul::bench {

// What the sections need: the two programs and the knobs of a run.
struct BenchOptions {
    std::string simPath;        // zul1x-sim
    std::string zul10Path;      // the program
    std::string workDir;        // scratch directory (links, logs, settings file)
    uint32_t latencyMs = 3;     // the unit's latency, in the simulator and the own unit
    uint32_t magSeconds = 60;   // length of the live mag display
    uint32_t exchanges = 200;   // exchanges per reply length for the latency figure
    uint32_t timeoutReps = 10;  // reads per length at the 50 ms constant (fewer for longer)
    uint32_t startups = 3;      // start-ups of the program under Xvfb
    uint32_t monitorPairs = 1;  // full runs with the line monitor off and on, in turn
};

// One time on the wire at 9600 baud, 8E1: 11 bit times.
inline constexpr double kByteTimeMs = 11.0 * 1000.0 / 9600.0;

struct FullRunResult {
    bool ok = false;
    std::string failure;
    double wallMs = 0;
    double cpuMs = 0;      // user + system of this process during the run
    uint64_t waitsMs = 0;  // the fixed waits the items asked for
    uint64_t waits = 0;
    uint64_t exchanges = 0;  // writes of a request
    uint64_t bytesWritten = 0;
    uint64_t bytesRead = 0;
    uint64_t shortReads = 0;
    double writeMs = 0;  // inside WritePort, all exchanges
    double writeMaxMs = 0;
    double floorMs = 0;  // waits + wire time of every byte + latency per exchange
    // What the simulator itself needs: it takes a command the moment it is
    // written and puts the first answer byte out after its latency.
    double simFloorMs = 0;
};

struct MagResult {
    bool ok = false;
    std::string failure;
    double wallMs = 0;
    double cpuMs = 0;
    uint64_t polls = 0;
};

struct LatencyResult {
    bool ok = false;
    std::string failure;
    Summary us;  // last reply byte written by the unit -> ReadPort returned
};

struct TimeoutCase {
    uint32_t count = 0;  // bytes asked for
    uint16_t constantMs = 0;
    Summary latenessMs;  // returned - (10 ms x count + constant); negative is early
};

struct StartupResult {
    bool ok = false;
    std::string failure;
    Summary shownMs;     // exec -> main window viewable
    long maxRssKiB = 0;  // the largest ru_maxrss of the start-ups
};

// With tracePath, the line monitor appends every event of the run to it.
FullRunResult MeasureFullRun(const BenchOptions& options, const std::string& tracePath = "");
MagResult MeasureMagDisplay(const BenchOptions& options, int& argc, char** argv);
LatencyResult MeasureExchangeLatency(const BenchOptions& options, uint32_t replyLength);
std::vector<TimeoutCase> MeasureReadTimeouts(const BenchOptions& options, std::string& failure);
StartupResult MeasureStartup(const BenchOptions& options);

}  // namespace zul::bench
