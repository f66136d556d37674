#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zul::records {

// What the report keeps of each unit (by serial number) over any number of
// runs, in 20 bytes a unit: a 64-bit hash of the serial, the start (to the
// second) of its first and last run that came to a verdict (complete or
// failed), whether each completed, its count of runs and the station it is
// counted at: that of its first run with a verdict, else of its earliest
// run. Of two runs with a verdict in one second, the failed one counts as
// the first and as the last; between two otherwise equal runs the first
// read stays (a unit cannot be run twice in one second: only made-up
// records tell the order of reading). The serials themselves are kept only
// for the units retested most. At most kMaxUnits units are kept (2^20
// slots, 20 MiB; a year of a 20-bench line is about 600,000 runs); units
// beyond are counted as runs only (untracked()).
class UnitTable {
public:
    static constexpr std::size_t kMaxUnits = std::size_t{3} << 18;  // 786,432
    static constexpr std::size_t kShown = 10;                       // units retested most
    static constexpr uint32_t kMaxRuns = (1u << 15) - 1;            // counts stop there
    static constexpr uint32_t kOtherStation = (1u << 12) - 1;       // beyond 4094 stations

    struct Unit {
        uint32_t keyLow = 0, keyHigh = 0;
        uint32_t firstSeconds = 0, lastSeconds = 0;  // since 2000-01-01 UTC
        uint32_t packed = 0;
        uint32_t runs() const { return packed & kMaxRuns; }
        bool judged() const { return (packed & kJudged) != 0; }
        bool firstComplete() const { return (packed & kFirstComplete) != 0; }
        bool lastComplete() const { return (packed & kLastComplete) != 0; }
        uint32_t station() const { return packed >> kStationShift; }
    };
    // A unit retested most, with its serial.
    struct Shown {
        std::string serial;
        uint64_t key = 0;
        uint32_t runs = 0;
    };

    // A run of the unit with serial at startSeconds (since 2000-01-01 UTC)
    // on station (an index below kOtherStation, or kOtherStation). verdict:
    // whether it came to one, complete: whether that was complete.
    void Add(std::string_view serial, int64_t startSeconds, uint32_t station, bool verdict,
             bool complete);

    std::size_t size() const { return size_; }
    int64_t untracked() const { return untracked_; }
    // Calls f(const Unit&) for every unit.
    template <class F>
    void ForEach(F f) const {
        for (const Unit& u : slots_) {
            if (u.packed != 0) f(u);
        }
    }
    // Whether a unit of aRuns runs and serial aSerial is shown before one
    // of bRuns and bSerial: more runs first, then by serial in byte order.
    static bool ShownBefore(uint32_t aRuns, std::string_view aSerial, uint32_t bRuns,
                            std::string_view bSerial);
    // The units retested most, with their entries, in ShownBefore's order
    // (on the serials as cut to 200 bytes).
    std::vector<std::pair<Shown, Unit>> MostRuns() const;

private:
    static constexpr uint32_t kJudged = 1u << 15;
    static constexpr uint32_t kFirstComplete = 1u << 16;
    static constexpr uint32_t kLastComplete = 1u << 17;
    static constexpr uint32_t kStationShift = 20;

    Unit* Find(uint64_t key, bool& found);
    void Grow();
    void Show(std::string_view serial, uint64_t key, uint32_t runs);

    std::vector<Unit> slots_;
    std::size_t size_ = 0;
    int64_t untracked_ = 0;
    std::vector<Shown> shown_;
};

}  // namespace zul::records
