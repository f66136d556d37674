// Thousands of complete wizard runs against a randomised, hostile unit:
// refusals, silences, short, long and late answers, a unit that drops off the
// line, and readings in and out of their limits, on random commands. Every
// run is checked against an independent model of the run and against
// invariants measured on the port.
//
// ZUL_HOSTILE_SEED=<n> runs one seed instead of the fixed ones;
// ZUL_HOSTILE_RUNS=<n> sets the runs per seed (default 2000).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "mock/HostilePlan.h"
#include "mock/ReferenceRun.h"
#include "mock/WizardRun.h"

namespace zul {
namespace {

using test::HostilePlan;
using test::HostilePlanner;
using test::ReferenceRun;
using test::TimingPort;
using test::WizardRunBench;
using Kind = sim::Fault::Kind;

uint32_t EnvOr(const char* name, uint32_t fallback) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') return fallback;
    return static_cast<uint32_t>(std::strtoul(value, nullptr, 0));
}

// The item whose click ran at step.
int ItemOfStep(int16_t step) {
    constexpr int kItemOfStep[] = {1, 0, 2, 2, 3, 0, 4, 5, 6, 6, 7};
    return step >= 0 && step < std::ssize(kItemOfStep) ? kItemOfStep[step] : 0;
}

// The item a command opens, 0 for the others.
int ItemOpenedBy(uint8_t command) {
    constexpr uint8_t kOpening[] = {0xB6, 0xA7, 0xA1, 0xA2, 0xA3, 0xA4, 0xA6};  // items 1 to 7
    const auto* it = std::find(std::begin(kOpening), std::end(kOpening), command);
    return it == std::end(kOpening) ? 0 : static_cast<int>(it - std::begin(kOpening)) + 1;
}

// The read time-out constant each command must be written with.
uint16_t TimeoutFor(uint8_t command) {
    switch (command) {
        case 0xE0:
            return 10000;
        case 0xC1:
        case 0xA6:
            return 5000;
        default:
            return 2000;
    }
}

// Opening commands are acknowledged commands: a complete answer other than
// ACK is retried.
bool Retried(uint8_t command, uint8_t answer) {
    const bool acknowledged =
        command == 0xA1 || command == 0xA2 || command == 0xA3 || command == 0xA4 || command == 0xA7;
    return acknowledged && answer != 0x06;
}

const char* KindName(Kind kind) {
    switch (kind) {
        case Kind::None:
            return "None";
        case Kind::Refuse:
            return "Refuse";
        case Kind::Silent:
            return "Silent";
        case Kind::Short:
            return "Short";
        case Kind::Long:
            return "Long";
        case Kind::Late:
            return "Late";
        case Kind::DropOff:
            return "DropOff";
    }
    return "?";
}

constexpr Kind kKinds[] = {Kind::Refuse, Kind::Silent, Kind::Short,
                           Kind::Long,   Kind::Late,   Kind::DropOff};

const std::vector<std::string> kIdle = {"ZUL-1x Adjustment Program",
                                        "Start Calibration --> Click Start",
                                        "Exit              --> Click Exit"};
const std::vector<std::string> kComplete = {"**** COMPLETE ****",
                                            "Repeat calibration ---> Click Next",
                                            "Exit               ---> Click Exit"};
const std::vector<std::string> kChangeUnit = {"Change acceptor unit.", "", "Click Start"};

// The shape every failure screen has: the title, then "" and
// "Communication error", or one banner line optionally followed by the
// description block; then "" and "Click Cancel". Empty when it holds.
std::string FailureShapeProblem(const std::vector<std::string>& lines) {
    auto isBanner = [](const std::string& s) {
        return s.size() > 12 && s.rfind("XXXXXX", 0) == 0 &&
               s.compare(s.size() - 6, 6, "XXXXXX") == 0;
    };
    if (lines.size() < 4) return "fewer than four lines";
    if (lines[0].rfind("*** ", 0) != 0) return "line 0 is not a title";
    const size_t n = lines.size();
    if (lines[n - 2] != "" || lines[n - 1] != "Click Cancel") return "no closing Click Cancel";
    const std::vector<std::string> body(lines.begin() + 1, lines.end() - 2);
    if (body == std::vector<std::string>{"", "Communication error"}) return "";
    if (body.empty() || !isBanner(body[0])) return "neither a banner nor a communication error";
    if (body.size() == 1) return "";
    if (body.size() < 4 || body[1] != "" || body[2] != ReferenceRun::kDescriptions) {
        return "a banner followed by something other than a description block";
    }
    for (size_t i = 1; i < body.size(); ++i) {
        if (isBanner(body[i]) || body[i] == "Communication error") return "a second report";
    }
    return "";
}

struct Figures {
    uint32_t runs = 0, complete = 0, failed = 0, commError = 0, banner = 0, bad = 0;
    std::map<int, uint32_t> failedByItem;
    std::map<Kind, uint32_t> planned, fired;
    uint64_t commands = 0, attempts = 0, exchanges = 0, retriedExchanges = 0, dropOffPlans = 0;
    uint64_t modelledMs = 0, eepromWrites = 0;
    double worstShare = 0;  // longest exchange as a share of its maximum
};

std::string Join(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& l : lines) out += "  |" + l + "|\n";
    return out;
}

std::string Hex(const std::vector<uint8_t>& bytes) {
    std::string out;
    char b[4];
    for (uint8_t v : bytes) {
        std::snprintf(b, sizeof b, "%02X ", v);
        out += b;
    }
    return out;
}

// One run: the problems found, empty when it holds every invariant.
std::vector<std::string> CheckRun(const HostilePlan& plan, Figures& f) {
    std::vector<std::string> problems;
    const test::ReferenceOutcome want = ReferenceRun(plan).Run();
    WizardRunBench bench(plan.profile);
    const test::WizardRunResult got = bench.Walk(plan.magActions);
    const std::vector<uint8_t>& received = bench.unit.Received();

    // The outcome: every item passes exactly when its data lie within its
    // limits and every exchange succeeded.
    if (got.complete != want.complete) {
        problems.push_back(std::string("run ") + (got.complete ? "completed" : "failed") +
                           ", model says " + (want.complete ? "complete" : "fail"));
    } else if (!got.complete && ItemOfStep(got.failedAtStep) != want.failedItem) {
        problems.push_back("failed in item " + std::to_string(ItemOfStep(got.failedAtStep)) +
                           ", model says item " + std::to_string(want.failedItem));
    }

    if (got.complete) {
        if (got.finalLines != kComplete)
            problems.push_back("complete screen:\n" + Join(got.finalLines));
        if (got.afterCancel != kChangeUnit || got.stepAfterCancel != 0) {
            problems.push_back("Next after COMPLETE did not lead to the change-unit screen");
        }
    } else {
        if (got.finalLines != want.lines) {
            problems.push_back("failure screen:\n" + Join(got.finalLines) + " model:\n" +
                               Join(want.lines));
        }
        if (const std::string shape = FailureShapeProblem(got.finalLines); !shape.empty()) {
            problems.push_back("failure screen shape: " + shape + "\n" + Join(got.finalLines));
        }
        if (got.afterCancel != kIdle || got.stepAfterCancel != 0) {
            problems.push_back("Cancel did not restore the idle screen");
        }
        if (got.timerLeftOn) problems.push_back("Timer1 still on after the failure");
    }
    if (got.magControlsMissing) problems.push_back("a tick or Clear without timer or button");
    if (got.commandsAfterIdle != got.commandsAtEnd) {
        problems.push_back("commands sent after the run ended");
    }

    // The commands, exactly; nothing after the failing item.
    if (received != want.commands) {
        problems.push_back("commands\n  got   " + Hex(received) + "\n  model " +
                           Hex(want.commands));
    }
    int lastItem = 0;
    for (uint8_t c : received) {
        if (const int item = ItemOpenedBy(c); item != 0) {
            if (item < lastItem) problems.push_back("an item ran out of order");
            lastItem = item;
        }
        if (c == 0xB0) {
            ++f.eepromWrites;
            if (lastItem < 3 || !want.judgedPass[lastItem]) {
                problems.push_back("0xB0 sent in item " + std::to_string(lastItem) +
                                   ", whose data did not pass");
            }
        }
    }
    if (!got.complete && !received.empty() && lastItem != want.failedItem) {
        problems.push_back("commands of item " + std::to_string(lastItem) + " after item " +
                           std::to_string(want.failedItem) + " failed");
    }

    // Timing, measured on the port.
    for (const TimingPort::Attempt& a : bench.port.attempts) {
        if (a.timeoutMs != TimeoutFor(a.command)) {
            char b[96];
            std::snprintf(b, sizeof b, "0x%02X written with read time-out %u ms", a.command,
                          a.timeoutMs);
            problems.emplace_back(b);
        }
        if (a.readEndMs - a.writeAtMs > a.timeoutMs + 10ull * a.requested) {
            problems.push_back("one attempt outlasted its read time-out");
        }
    }
    const std::vector<TimingPort::Exchange> exchanges = bench.port.Exchanges(Retried);
    for (const TimingPort::Exchange& e : exchanges) {
        const uint64_t maximum = 4ull * (e.timeoutMs + 10ull * e.requested);
        if (e.attempts > 4 || e.durationMs > maximum || !e.sameTimeout) {
            char b[128];
            std::snprintf(b, sizeof b, "exchange 0x%02X: %u attempts, %llu ms of at most %llu",
                          e.command, e.attempts, static_cast<unsigned long long>(e.durationMs),
                          static_cast<unsigned long long>(maximum));
            problems.emplace_back(b);
        }
        f.worstShare = std::max(f.worstShare, double(e.durationMs) / double(maximum));
        if (e.attempts > 1) ++f.retriedExchanges;
    }

    ++f.runs;
    if (got.complete) {
        ++f.complete;
    } else {
        ++f.failed;
        ++f.failedByItem[ItemOfStep(got.failedAtStep)];
        if (got.finalLines.size() > 2 && got.finalLines[2] == "Communication error") {
            ++f.commError;
        } else {
            ++f.banner;
        }
    }
    for (const auto& [command, faults] : plan.profile.faults) {
        for (const sim::Fault& fault : faults) ++f.planned[fault.kind];
    }
    if (plan.profile.dropOffAfter != 0) ++f.dropOffPlans;
    for (const auto& [kind, n] : want.fired) f.fired[kind] += n;
    f.commands += received.size();
    f.attempts += bench.port.attempts.size();
    f.exchanges += exchanges.size();
    f.modelledMs += bench.clock.NowMs();
    if (!problems.empty()) ++f.bad;
    return problems;
}

std::string Summary(const std::vector<uint32_t>& seeds, uint32_t runsPerSeed, const Figures& f) {
    std::ostringstream s;
    s << "hostile: seeds=";
    for (size_t i = 0; i < seeds.size(); ++i) s << (i ? "," : "") << seeds[i];
    s << " runs=" << f.runs << " (" << runsPerSeed << " per seed) complete=" << f.complete
      << " failed=" << f.failed << " (comm=" << f.commError << " banner=" << f.banner << ";";
    for (const auto& [item, n] : f.failedByItem) s << " item" << item << "=" << n;
    s << ") faults planned:";
    for (Kind k : kKinds) s << " " << KindName(k) << "=" << f.planned.at(k);
    s << " dropOffAfter=" << f.dropOffPlans << " fired:";
    for (Kind k : kKinds) s << " " << KindName(k) << "=" << (f.fired.count(k) ? f.fired.at(k) : 0);
    s << " commands=" << f.commands << " attempts=" << f.attempts << " exchanges=" << f.exchanges
      << " retried=" << f.retriedExchanges << " eepromWrites=" << f.eepromWrites
      << " modelled=" << f.modelledMs / 1000 << "s worstExchange=" << int(f.worstShare * 100)
      << "% lost=" << f.bad;
    return s.str();
}

TEST(HostileUnit, EveryRunKeepsEveryInvariant) {
    std::vector<uint32_t> seeds = {20240611u, 7u, 31337u};
    if (const char* env = std::getenv("ZUL_HOSTILE_SEED"); env != nullptr && *env != '\0') {
        seeds = {EnvOr("ZUL_HOSTILE_SEED", 0)};
    }
    const uint32_t runs = EnvOr("ZUL_HOSTILE_RUNS", 2000);

    Figures figures;
    int reported = 0;
    for (uint32_t seed : seeds) {
        HostilePlanner planner(seed);
        for (uint32_t i = 0; i < runs; ++i) {
            const HostilePlan plan = planner.Next();
            const std::vector<std::string> problems = CheckRun(plan, figures);
            if (!problems.empty() && reported < 5) {
                ++reported;
                std::string all;
                for (const std::string& p : problems) all += p + "\n";
                ADD_FAILURE() << "seed " << seed << " run " << i << ":\n" << all;
            }
        }
    }
    const std::string summary = Summary(seeds, runs, figures);
    std::printf("%s\n", summary.c_str());
    EXPECT_EQ(figures.bad, 0u);
    // The plans reach every item and every fault kind.
    for (Kind k : kKinds) EXPECT_GT(figures.fired[k], 0u) << KindName(k);
    EXPECT_GT(figures.complete, 0u);
    for (int item = 1; item <= 7; ++item) EXPECT_GT(figures.failedByItem[item], 0u) << item;
}

}  // namespace
}  // namespace zul
