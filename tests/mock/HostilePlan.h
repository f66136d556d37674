#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "sim/SimProfile.h"

namespace zul::test {

// What the operator does while the mag live display runs.
enum class MagAction { Tick, Clear };

// One complete wizard run against a randomised unit: the unit's readings and
// faults, and the operator's ticks and Clear clicks at the mag step.
struct HostilePlan {
    sim::Profile profile;
    std::vector<MagAction> magActions;
};

// The command bytes the unit understands; faults are drawn among them.
inline constexpr std::array<uint8_t, 14> kUnitCommands{0x05, 0xA1, 0xA2, 0xA3, 0xA4, 0xA6, 0xA7,
                                                       0xB0, 0xB4, 0xB6, 0xC0, 0xC1, 0xE0, 0xEE};

// Draws hostile plans from a seeded generator: readings mostly within their
// limits, sometimes at or beyond an edge or random; faults of every kind on
// random commands and receptions.
class HostilePlanner {
public:
    explicit HostilePlanner(uint32_t seed) : rng_(seed) {}

    HostilePlan Next() {
        HostilePlan plan;
        sim::Profile& p = plan.profile;

        // Lever: back exactly 1 / 0, left and right at least / below 128.
        p.leverPaperIn = {1, B(128, 255), B(128, 255)};
        p.leverPaperOut = {0, B(0, 127), B(0, 127)};
        if (Unhealthy()) {
            for (int k = Count(); k > 0; --k) {
                const int lever = Range(0, 2);
                auto& side = Chance(0.5) ? p.leverPaperIn : p.leverPaperOut;
                side[lever] = lever == 0 ? Pick({0, 1, 2, Byte()}) : Pick({127, 128, Byte()});
            }
        }

        // White: A/D per slot within its window, D/A at least 30.
        static constexpr std::array<std::array<int, 2>, 14> kWhiteAd{{{62, 92},
                                                                      {62, 92},
                                                                      {62, 92},
                                                                      {62, 92},
                                                                      {62, 92},
                                                                      {62, 92},
                                                                      {152, 206},
                                                                      {152, 206},
                                                                      {152, 206},
                                                                      {152, 206},
                                                                      {54, 100},
                                                                      {54, 100},
                                                                      {50, 104},
                                                                      {50, 104}}};
        std::array<uint8_t, 14> ad{}, da{};
        for (int s = 0; s < 14; ++s) {
            ad[s] = Range(kWhiteAd[s][0], kWhiteAd[s][1]);
            da[s] = Range(30, 255);
        }
        if (Unhealthy()) {
            for (int k = Count(); k > 0; --k) {
                const int s = Range(0, 13);
                if (Chance(0.5)) {
                    ad[s] = Edge(kWhiteAd[s][0], kWhiteAd[s][1]);
                } else {
                    da[s] = Pick({29, 30, 255, Byte()});
                }
            }
        }
        for (auto& b : p.whiteRegisters) b = Byte();
        for (auto& b : p.whiteResult) b = Byte();  // bytes 12-14 are noise
        sim::SetWhiteReadings(p, ad, da);

        // Black: at most 102.
        for (auto& b : p.blackResult) b = Range(0, 102);
        if (Unhealthy()) {
            for (int k = Count(); k > 0; --k) p.blackResult[Range(0, 3)] = Edge(0, 102);
        }

        // Non-paper: 51..153, the two middle sensors 28..153.
        for (auto& b : p.nonPaperRegisters) b = Byte();
        for (int r = 0; r < 12; ++r) {
            p.nonPaperResult[r] = r >= 10 ? Byte() : Range(r == 6 || r == 7 ? 28 : 51, 153);
        }
        if (Unhealthy()) {
            for (int k = Count(); k > 0; --k) {
                const int r = Range(0, 9);
                p.nonPaperResult[r] = Edge(r == 6 || r == 7 ? 28 : 51, 153);
            }
        }

        // Mag: one to four samples; the peak is judged against 46..70.
        p.magSamples.clear();
        for (int k = Range(1, 4); k > 0; --k) {
            const uint8_t peak = Chance(0.85) ? Range(46, 70) : Edge(46, 70);
            p.magSamples.push_back({peak, Byte()});
        }

        // Motor speed: 89..121.
        p.motorSpeed = Chance(0.85) ? Range(89, 121) : Edge(89, 121);

        // Faults.
        if (Chance(0.7)) {
            for (int k = Range(1, 4); k > 0; --k) {
                const uint8_t command = kUnitCommands[Range(0, kUnitCommands.size() - 1)];
                p.faults[command].push_back(RandomFault());
            }
        }
        if (Chance(0.04)) p.dropOffAfter = Range(1, 80);

        for (int k = Range(0, 6); k > 0; --k) {
            plan.magActions.push_back(Chance(0.7) ? MagAction::Tick : MagAction::Clear);
        }
        return plan;
    }

    std::mt19937& rng() { return rng_; }

private:
    sim::Fault RandomFault() {
        using Kind = sim::Fault::Kind;
        static constexpr Kind kKinds[] = {Kind::Refuse, Kind::Refuse, Kind::Refuse, Kind::Silent,
                                          Kind::Silent, Kind::Silent, Kind::Short,  Kind::Short,
                                          Kind::Short,  Kind::Long,   Kind::Long,   Kind::Late,
                                          Kind::Late,   Kind::Late,   Kind::DropOff};
        sim::Fault f;
        f.kind = kKinds[Range(0, std::size(kKinds) - 1)];
        f.onlyNth = Chance(0.15) ? 0 : Range(1, 5);
        f.refuseByte = Byte();
        if (f.refuseByte == 0x06) f.refuseByte = 0x15;  // a refusal is never ACK
        f.bytes = f.kind == Kind::Long ? Range(1, 40) : Range(0, 31);
        f.extraByte = Byte();
        if (Chance(0.3)) {
            // Right at the end of a read of a typical length.
            static constexpr uint32_t kLengths[] = {1, 2, 4, 8, 12, 16, 30, 31};
            const uint32_t len = kLengths[Range(0, std::size(kLengths) - 1)];
            const uint32_t constant = Pick({2000, 5000, 10000});
            f.delayMs = constant + 10 * len + Range(0, 1);
        } else {
            f.delayMs = Range(0, 12000);
        }
        return f;
    }

    bool Chance(double p) { return std::bernoulli_distribution(p)(rng_); }
    // One item's data are out of order now and then.
    bool Unhealthy() { return Chance(0.15); }
    int Count() { return Range(1, 3); }
    uint32_t Range(uint32_t lo, uint32_t hi) {
        return std::uniform_int_distribution<uint32_t>(lo, hi)(rng_);
    }
    uint8_t B(uint32_t lo, uint32_t hi) { return static_cast<uint8_t>(Range(lo, hi)); }
    uint8_t Byte() { return static_cast<uint8_t>(Range(0, 255)); }
    uint32_t Pick(std::initializer_list<uint32_t> values) {
        return *(values.begin() + Range(0, values.size() - 1));
    }
    // A value at or just beyond an edge of lo..hi, or any byte.
    uint8_t Edge(int lo, int hi) {
        const int v = static_cast<int>(Pick(
            {static_cast<uint32_t>(lo > 0 ? lo - 1 : 0), static_cast<uint32_t>(lo),
             static_cast<uint32_t>(hi), static_cast<uint32_t>(hi < 255 ? hi + 1 : 255), Byte()}));
        return static_cast<uint8_t>(v);
    }

    std::mt19937 rng_;
};

}  // namespace zul::test
