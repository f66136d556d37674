// zul1x-sim: a simulated ZUL-1x unit on a pseudo-terminal, for trying the
// adjustment program at a bench without a validator.

#include <sched.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>

#include "serial/Commands.h"
#include "sim/Presets.h"
#include "sim/ProfileFile.h"
#include "sim/SimUnit.h"
#include "sim/tool/PtyLine.h"

namespace {

using namespace zul;
using namespace zul::sim;
using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t gStop = 0;
void OnSignal(int) {
    gStop = 1;
}

constexpr const char* kUsage = R"(Usage: zul1x-sim [options]

Serves a simulated ZUL-1x bill validator on a pseudo-terminal. Point the
adjustment program's serial port at the link (default ./ttyZUL) and run the
adjustment items against it. Every exchange is printed: the time since start
in seconds, the command byte with its name, and the answer in hex.

Options:
  --link PATH        where to put the symlink to the line (default ./ttyZUL);
                     an existing symlink there is replaced, and removed at exit
  --latency-ms N     the unit's processing time before its first answer byte,
                     in ms (default 3)
  --baud N           wire speed that paces the answer bytes, 11 bit times a
                     byte as on an 8E1 line (default 9600: about 1.146 ms/byte)
  --preset NAME      start from a named profile (default healthy), see below
  --profile FILE     apply a profile file over the preset, see below
  --quiet            print only the start line and the summary
  --help             show this text

Presets:
)";

constexpr const char* kProfileHelp = R"(
Profile file: one `key = value` a line; '#' starts a comment line; numbers
are decimal or 0x hex.
  lever_paper_in = 1 192 192          back, left, right with paper in
  lever_paper_out = 0 32 32           ... with paper out
  white_registers = 8 bytes           answer to ENQ after 0xA1/0xC0
  white_result = 31 bytes             answer to 0xE0: A/D 0-11, 3 unused,
                                      D/A 0-11, A/D 12-13, D/A 12-13
  black_result = 4 bytes              answer to ENQ after 0xA2
  nonpaper_registers = 4 bytes        answer to ENQ after 0xA3/0xC1
  nonpaper_result = 12 bytes          answer to ENQ after the following 0xEE
  white_result[3] = 61                one byte of any block above
  mag_samples = 30/30 50/50 60/60     peak/A-D per ENQ after 0xA4; last repeats
  motor_speed = 80                    answer to 0xA6
  drop_off_after = 12                 silent after 12 commands (0: never)
  pad = 2 fill 0x15                   2 bytes behind every answer (default fill 0x15)
  fault 0xB6 = refuse 0x15            answer this byte instead (default 0x15)
  fault 0xB0 = silent                 no answer
  fault 0x05 = short 5                only the first 5 bytes
  fault 0xA6 = long 2 fill 0x06       2 extra bytes (default fill 0xFF)
  fault 0xE0 = late 12000             answer after 12000 ms more
  fault 0xA4 = drop-off               fall off the line for good
  ... = <fault> on 2                  only on the 2nd reception of the command

The unit: 0xB6 0xB4 0xB0 0xA1 0xA2 0xA3 0xA4 0xA7 0xC0 0xC1 0xEE are
acknowledged with 0x06; 0xE0 answers 31 bytes, 0xA6 one byte; ENQ (0x05)
answers the data of the item opened last (lever 12, 16, then 30 bytes; white
8; black 4; non-paper 4, after 0xEE 12; mag 2). Unknown bytes, and ENQ with
no item open, get no answer.
)";

struct Options {
    std::string link = "./ttyZUL";
    uint32_t latencyMs = 3;
    uint32_t baud = 9600;
    std::string preset = "healthy";
    std::string profileFile;
    bool quiet = false;
};

void PrintUsage(std::FILE* out) {
    std::fputs(kUsage, out);
    for (const PresetInfo& preset : kPresets) {
        std::fprintf(out, "  %-15s %s\n", preset.name, preset.description);
    }
    std::fputs(kProfileHelp, out);
}

bool ParseCount(const char* text, uint32_t max, uint32_t& value) {
    char* end = nullptr;
    const unsigned long n = std::strtoul(text, &end, 10);
    if (end == text || *end != '\0' || text[0] == '-' || n > max) return false;
    value = static_cast<uint32_t>(n);
    return true;
}

// Returns 0 to go on, otherwise the exit code.
int ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            PrintUsage(stdout);
            return -1;
        }
        if (arg == "--quiet") {
            options.quiet = true;
            continue;
        }
        const char* v = i + 1 < argc ? argv[++i] : nullptr;
        if (v == nullptr) {
            std::fprintf(stderr, "zul1x-sim: %s needs a value (see --help)\n", argv[i]);
            return 2;
        }
        bool ok = true;
        if (arg == "--link") {
            options.link = v;
        } else if (arg == "--latency-ms") {
            ok = ParseCount(v, 600000, options.latencyMs);
        } else if (arg == "--baud") {
            ok = ParseCount(v, 1000000, options.baud) && options.baud >= 50;
        } else if (arg == "--preset") {
            options.preset = v;
        } else if (arg == "--profile") {
            options.profileFile = v;
        } else {
            std::fprintf(stderr, "zul1x-sim: unknown option %s (see --help)\n", argv[i - 1]);
            return 2;
        }
        if (!ok) {
            std::fprintf(stderr, "zul1x-sim: bad value '%s' for %s\n", v, argv[i - 1]);
            return 2;
        }
    }
    return 0;
}

const char* FaultName(Fault::Kind kind) {
    switch (kind) {
        case Fault::Kind::None:
            return "";
        case Fault::Kind::Refuse:
            return "  [refuse]";
        case Fault::Kind::Silent:
            return "  [silent]";
        case Fault::Kind::Short:
            return "  [short]";
        case Fault::Kind::Long:
            return "  [long]";
        case Fault::Kind::Late:
            return "  [late]";
        case Fault::Kind::DropOff:
            return "  [off the line]";
    }
    return "";
}

// Sleeps until `until` or a stop signal, in short steps.
void SleepUntil(Clock::time_point until) {
    while (!gStop) {
        const auto now = Clock::now();
        if (now >= until) return;
        std::this_thread::sleep_for(
            std::min<Clock::duration>(until - now, std::chrono::milliseconds(50)));
    }
}

struct Totals {
    uint32_t commands = 0;
    uint32_t unanswered = 0;
    uint32_t unknown = 0;
    uint32_t bytesSent = 0;
    uint32_t bytesDropped = 0;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (const int rc = ParseOptions(argc, argv, options); rc != 0) return rc < 0 ? 0 : rc;

    std::optional<Profile> profile = PresetProfile(options.preset);
    if (!profile) {
        std::fprintf(stderr, "zul1x-sim: unknown preset '%s' (see --help)\n",
                     options.preset.c_str());
        return 2;
    }
    if (!options.profileFile.empty()) {
        if (auto error = ApplyProfileFile(options.profileFile, *profile)) {
            if (error->line == 0) {
                std::fprintf(stderr, "zul1x-sim: %s\n", error->message.c_str());
            } else {
                std::fprintf(stderr, "zul1x-sim: %s:%d: %s\n", options.profileFile.c_str(),
                             error->line, error->message.c_str());
            }
            return 2;
        }
    }

    // A unit on a real line sends the bytes of an answer back to back. On a
    // busy machine an ordinary process can be woken milliseconds late, which
    // would put gaps into its answers that no unit makes (and pass a padding
    // byte off as a late one). Where the system permits it, the simulator
    // asks for real-time scheduling; it sleeps between bytes, so it never
    // holds a processor. Elsewhere it runs as an ordinary process.
    sched_param realtime{};
    realtime.sched_priority = 10;
    sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &realtime);

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);

    PtyLine line;
    if (const std::string error = line.Open(options.link); !error.empty()) {
        std::fprintf(stderr, "zul1x-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("zul1x-sim: unit '%s'%s%s on %s (link %s), latency %" PRIu32 " ms, %" PRIu32
                " baud\n",
                options.preset.c_str(), options.profileFile.empty() ? "" : " + ",
                options.profileFile.c_str(), line.slaveName().c_str(), options.link.c_str(),
                options.latencyMs, options.baud);
    std::fflush(stdout);

    SimUnit unit(*profile);
    Totals totals;
    const auto start = Clock::now();
    const auto byteTime = std::chrono::microseconds(11'000'000 / options.baud);
    int status = 0;

    while (!gStop) {
        auto bytes = line.Read(200);
        if (!bytes) {
            std::fprintf(stderr, "zul1x-sim: the line failed\n");
            status = 1;
            break;
        }
        for (uint8_t command : *bytes) {
            if (gStop) break;
            const auto received = Clock::now();
            const Answer answer = unit.Receive(command);
            ++totals.commands;
            const CommandInfo* info = FindCommand(command);
            if (info == nullptr) ++totals.unknown;
            if (answer.bytes.empty()) ++totals.unanswered;

            auto due = received + std::chrono::milliseconds(options.latencyMs + answer.delayMs);
            for (uint8_t byte : answer.bytes) {
                SleepUntil(due);
                if (gStop) break;
                if (line.WriteByte(byte)) {
                    ++totals.bytesSent;
                } else {
                    ++totals.bytesDropped;
                }
                due += byteTime;
            }
            if (!options.quiet) {
                const double t = std::chrono::duration<double>(received - start).count();
                std::printf("%9.3f  %02X %-30s ->", t, command, info ? info->name : "(unknown)");
                if (answer.bytes.empty()) std::printf(" (no answer)");
                for (uint8_t byte : answer.bytes) std::printf(" %02X", byte);
                std::printf("%s\n", FaultName(answer.fault));
                std::fflush(stdout);
            }
        }
    }

    line.RemoveLink();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("\nzul1x-sim: %.1f s, %" PRIu32 " commands (%" PRIu32 " unanswered, %" PRIu32
                " unknown), %" PRIu32 " bytes sent",
                elapsed, totals.commands, totals.unanswered, totals.unknown, totals.bytesSent);
    if (totals.bytesDropped != 0) std::printf(", %" PRIu32 " dropped", totals.bytesDropped);
    std::printf("\n");
    for (const CommandInfo& info : kCommandTable) {
        if (const uint32_t n = unit.ReceptionCount(info.code); n != 0) {
            std::printf("  %02X %-30s %6" PRIu32 "\n", info.code, info.name, n);
        }
    }
    if (unit.DroppedOff()) std::printf("  the unit had dropped off the line\n");
    return status;
}
