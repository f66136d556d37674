#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "records/BoundedTally.h"
#include "records/Capability.h"
#include "records/RunRecord.h"
#include "records/UnitTable.h"

namespace zul::records {

// Runs by how they ended. The yield is complete runs over the runs that
// came to a verdict on the unit (complete or failed). A communication
// error is counted apart: it is most often a cable or a station, not the
// unit; a run cancelled or ended by the closing window says nothing about
// its unit.
struct RunCounts {
    int64_t runs = 0;
    int64_t complete = 0;
    int64_t failed = 0;
    int64_t communication = 0;
    int64_t Stopped() const { return runs - complete - failed - communication; }
    int64_t Judged() const { return complete + failed; }
    void Add(Outcome outcome, int64_t count = 1);
    void Add(const RunCounts& other);
};

// Everything the summary, the page and their charts show, counted in one
// pass over the runs (Add), with memory bounded whatever the folder holds:
// names (causes, stations, limits revisions) are kept up to a maximum and
// the rest counted as others, units in a compact table, readings as
// running moments and histograms, days up to ten years' worth.
class Figures {
public:
    static constexpr std::size_t kMaxDays = 3660;
    static constexpr std::size_t kMaxCauses = 1000;
    static constexpr std::size_t kMaxStations = 4000;
    static constexpr std::size_t kSlowest = 10;

    struct Day {
        RunCounts counts;
        // Per catalogue value, the moments of the day's readings.
        std::vector<Moments> values;
    };
    struct Station {
        RunCounts counts;
        uint32_t index = 0;  // in the unit table
        int64_t units = 0;
        int64_t judgedUnits = 0;  // units whose first run there came to a verdict
        int64_t firstPass = 0;    // ... and completed
        // Adds other's figures (but its index).
        void Add(const Station& other);
    };
    struct SlowRun {
        double seconds = 0;
        std::string start, station, outcome;
        std::string runId;  // orders runs of equal length and start; not shown
    };
    // The slowest runs' order: longest first, then by start and run id as
    // written, in byte order.
    static bool SlowerFirst(const SlowRun& a, const SlowRun& b);
    struct Units {
        int64_t units = 0;      // distinct serial numbers
        int64_t judged = 0;     // units with a run that came to a verdict
        int64_t firstPass = 0;  // ... whose first such run completed
        int64_t finalPass = 0;  // ... whose last such run completed
        int64_t runsWithUnit = 0;
        int64_t runsWithoutUnit = 0;      // counted as runs only
        int64_t untracked = 0;            // runs of units beyond the table's room
        std::array<int64_t, 4> byRuns{};  // units with 1, 2, 3, 4 or more runs
        struct Most {
            std::string serial;
            uint32_t runs = 0;
            bool judged = false, firstComplete = false, lastComplete = false;
        };
        std::vector<Most> most;  // retested most, most runs first (2 runs or more)
    };

    Figures();

    void Add(const RunRecord& run);
    // Ends the counting: unit and station figures, orders. Call once, after
    // the last Add.
    void Finish();
    // Ends the counting of figures filled in from totals instead of by Add
    // (a database's): the values' capability and their order. Call once.
    void FinishValues();
    // The figures of date (YYYY-MM-DD), made when new; nullptr when
    // kMaxDays other days are kept already (their runs belong in
    // runsOfOtherDays).
    Day* DayOf(std::string_view date);

    RunCounts all;
    int64_t cancelled = 0, closed = 0;
    std::array<int64_t, 7> failedByItem{};         // unit failures
    std::array<int64_t, 7> communicationByItem{};  // communication errors
    int64_t formatOne = 0;                         // runs judged by the report
    std::map<std::string, Day, std::less<>> days;  // in date order
    int64_t runsOfOtherDays = 0;                   // beyond kMaxDays
    BoundedTally<int64_t> causes{kMaxCauses};
    BoundedTally<int64_t> limits{16, 16};  // runs by limits revision (format 2)
    BoundedTally<Station> stations{kMaxStations};
    std::vector<SlowRun> slowest;  // SlowerFirst's order
    std::array<ValueTally, kValueCount> values{};
    Units units;

    // After Finish: the causes most first, the stations most runs first.
    std::vector<std::pair<std::string, int64_t>> CausesByCount() const;
    std::vector<std::pair<std::string, const Station*>> StationsByRuns() const;
    // After Finish: the shown stations with most runs, most first, then
    // "(others)" adding up the rest (and those beyond kMaxStations), when
    // there are any.
    std::vector<std::pair<std::string, Station>> StationRows(std::size_t shown) const;
    // After Finish: each value's capability, and the catalogue's indexes in
    // the order closest to the limits first.
    std::array<Capability, kValueCount> capability{};
    std::vector<std::size_t> closestFirst;

private:
    UnitTable units_;
    std::vector<Station*> stationByIndex_;
    std::string lastDate_;
    Day* lastDay_ = nullptr;
    std::string lastStation_;
    Station* lastStationRow_ = nullptr;
};

}  // namespace zul::records
