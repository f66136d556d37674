#include "records/DatabaseReport.h"

#include <algorithm>
#include <limits>
#include <map>

#include "records/DatabaseSchema.h"
#include "records/DatabaseUri.h"
#include "records/FolderDestination.h"
#include "records/RecordParser.h"
#include "records/TextSafety.h"

namespace zul::records {

namespace {

using Params = PgConnection::Parameters;

// The runs of the range: $1 and $2 are its first and last day.
#define ZUL_RANGE "start_date BETWEEN $1::date AND $2::date"

constexpr const char* kOutcomes =
    "SELECT outcome, failed_item, with_unit, sum(runs) FROM zul10_run_counts "
    "WHERE " ZUL_RANGE " GROUP BY 1, 2, 3";

// The first $3 days with runs.
constexpr const char* kDays =
    "SELECT to_char(start_date, 'YYYY-MM-DD'), outcome, n FROM ("
    "  SELECT start_date, outcome, sum(runs) AS n, dense_rank() OVER (ORDER BY start_date) AS k"
    "  FROM zul10_run_counts WHERE " ZUL_RANGE
    " GROUP BY start_date, outcome) d "
    "WHERE k <= $3::bigint ORDER BY start_date";

// The $3 stations with the most runs, ties in byte order.
#define ZUL_KEPT_STATIONS                                                            \
    "kept AS (SELECT station, sum(runs) AS n FROM zul10_run_counts WHERE " ZUL_RANGE \
    " GROUP BY station ORDER BY n DESC, station COLLATE \"C\" LIMIT $3::bigint)"

constexpr const char* kStations =
    "WITH " ZUL_KEPT_STATIONS
    " SELECT k.station, c.outcome, sum(c.runs) FROM kept k JOIN zul10_run_counts c USING (station)"
    " WHERE c." ZUL_RANGE
    " GROUP BY k.station, k.n, c.outcome"
    " ORDER BY k.n DESC, k.station COLLATE \"C\"";

// The causes of failures (or limits revisions) with the most runs, at most $3.
constexpr const char* kCauses =
    "SELECT cause, sum(runs) AS n FROM zul10_run_counts WHERE " ZUL_RANGE
    " AND outcome = 'failed' GROUP BY cause ORDER BY n DESC, cause COLLATE \"C\" LIMIT $3::bigint";
constexpr const char* kLimits =
    "SELECT limits_revision, sum(runs) AS n FROM zul10_run_counts WHERE " ZUL_RANGE
    " GROUP BY 1 ORDER BY n DESC, limits_revision COLLATE \"C\" LIMIT $3::bigint";

// Each unit: its runs, its first and last run with a verdict
// (zul10_first_key, zul10_last_key) and its station; from the totals for
// all days, counted from the range's runs for a range.
#define ZUL_UNITS_KEPT \
    "u AS (SELECT unit, runs, first_key, last_key, substr(rank, 13) AS station FROM zul10_units)"
#define ZUL_UNITS_OF_RANGE                                                           \
    "u AS MATERIALIZED (SELECT unit, count(*) AS runs,"                              \
    " min(zul10_first_key(started_at, outcome)) AS first_key,"                       \
    " max(zul10_last_key(started_at, outcome)) AS last_key,"                         \
    " substr(min(zul10_unit_rank(started_at, outcome, zul10_station(station, host))" \
    " COLLATE \"C\"), 13) AS station"                                                \
    " FROM runs WHERE unit <> '' AND " ZUL_RANGE " GROUP BY unit)"
// Rows tagged 0: per kept station (NULL: the others) its units, those with
// a verdict, first passes, final passes and units by runs; rows tagged 1:
// the $4 units retested most.
#define ZUL_UNIT_FIGURES                                                                        \
    " SELECT 0, k.station, count(*), count(u.first_key),"                                       \
    " count(*) FILTER (WHERE u.first_key % 2 = 1), count(*) FILTER (WHERE u.last_key % 2 = 0)," \
    " count(*) FILTER (WHERE u.runs = 1), count(*) FILTER (WHERE u.runs = 2),"                  \
    " count(*) FILTER (WHERE u.runs = 3), count(*) FILTER (WHERE u.runs >= 4), NULL::text"      \
    " FROM u LEFT JOIN kept k ON k.station = u.station GROUP BY k.station"                      \
    " UNION ALL SELECT * FROM (SELECT 1, NULL::text, u.runs, u.first_key, u.last_key,"          \
    " 0::bigint, 0::bigint, 0::bigint, 0::bigint, 0::bigint, u.unit FROM u WHERE u.runs >= 2"   \
    " ORDER BY u.runs DESC, u.unit COLLATE \"C\" LIMIT $4::bigint) m"
constexpr const char* kUnitsOfAllDays =
    "WITH " ZUL_KEPT_STATIONS ", " ZUL_UNITS_KEPT ZUL_UNIT_FIGURES;
constexpr const char* kUnitsOfRange =
    "WITH " ZUL_KEPT_STATIONS ", " ZUL_UNITS_OF_RANGE ZUL_UNIT_FIGURES;

constexpr const char* kSlowest =
    "SELECT record->>'start', zul10_station(station, host), outcome, seconds, record->>'run_id'"
    " FROM runs WHERE " ZUL_RANGE
    " ORDER BY seconds DESC, record->>'start' COLLATE \"C\", record->>'run_id' COLLATE \"C\""
    " LIMIT $3::bigint";

// The catalogue's values ($3 items, $4 names, $5 slots): readings by byte,
// and each day's count, sum and sum of squares.
// The readings of the range summed by value first, then kept for the
// catalogue's values only ($3, $4, $5: items, names, slots): the planner
// cannot tell how many rows the join with the catalogue keeps, and joining
// first led it to sort every reading of the range.
#define ZUL_READINGS_OF_RANGE \
    " FROM zul10_value_counts WHERE " ZUL_RANGE " AND value BETWEEN 0 AND 255"
#define ZUL_IN_CATALOGUE                                                              \
    " JOIN unnest($3::smallint[], $4::text[], $5::smallint[]) AS k(item, name, slot)" \
    " USING (item, name, slot)"
constexpr const char* kHistogram =
    "SELECT c.item, c.name, c.slot, c.value, c.n FROM ("
    "SELECT item, name, slot, value, sum(readings) AS n" ZUL_READINGS_OF_RANGE
    " GROUP BY 1, 2, 3, 4) c" ZUL_IN_CATALOGUE;
constexpr const char* kDayValues =
    "SELECT to_char(c.start_date, 'YYYY-MM-DD'), c.item, c.name, c.slot, c.n, c.s1, c.s2 FROM ("
    "SELECT start_date, item, name, slot, sum(readings) AS n, sum(readings * value) AS s1,"
    " sum(readings * value * value) AS s2" ZUL_READINGS_OF_RANGE
    " GROUP BY 1, 2, 3, 4) c" ZUL_IN_CATALOGUE;

// The record files a folder of the range would hold: day and station.
constexpr const char* kFiles =
    "SELECT to_char(start_date, 'YYYY-MM-DD'), station FROM zul10_run_counts WHERE " ZUL_RANGE
    " GROUP BY start_date, station ORDER BY start_date";
// The records of day $1, by station in the order of $2, then by start.
constexpr const char* kRecordsOfDay =
    "SELECT s.run_id::text, s.record::text FROM ("
    " SELECT r.run_id, r.record FROM runs r JOIN unnest($2::text[]) WITH ORDINALITY AS f(station, "
    "k)"
    " ON f.station = zul10_station(r.station, r.host) WHERE r.start_date = $1::date"
    " ORDER BY f.k, r.started_at, r.run_id) s";

#undef ZUL_RANGE
#undef ZUL_KEPT_STATIONS
#undef ZUL_UNITS_KEPT
#undef ZUL_UNITS_OF_RANGE
#undef ZUL_UNIT_FIGURES
#undef ZUL_CATALOGUE_VALUES

// How many raw causes (limits revisions) are fetched: room for many that
// merge into one name once cut and unframed.
constexpr int64_t kFetchedNames = 20 * static_cast<int64_t>(Figures::kMaxCauses);

int DaysIn(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

std::string Day(int year, int month, int day) {
    if (year < 1) return "-infinity";
    char text[24];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return text;
}

// Reads "YYYY-MM-DD" (as IsDate checked it) into its numbers.
void Split(std::string_view date, int& year, int& month, int& day) {
    const auto number = [&](size_t at, size_t n) {
        int v = 0;
        for (size_t i = at; i < at + n; ++i) v = v * 10 + (date[i] - '0');
        return v;
    };
    year = number(0, 4);
    month = number(5, 2);
    day = number(8, 2);
}

// A whole number of the answer; a field that is none sets bad.
int64_t Whole(const PgResult& rows, int row, int column, bool& bad) {
    const std::optional<int64_t> n = rows.Int(row, column);
    if (!n && !rows.IsNull(row, column)) bad = true;
    return n.value_or(0);
}

// A field of every catalogue entry as the text of an int[] parameter.
template <class Field>
std::string CatalogueNumbers(Field field) {
    std::string out = "{";
    for (const JudgedValue& catalogued : kJudgedValues) {
        if (out.size() > 1) out += ',';
        out += std::to_string(field(catalogued));
    }
    return out + "}";
}
std::string CatalogueItems() {
    return CatalogueNumbers([](const JudgedValue& catalogued) { return catalogued.item; });
}
std::string CatalogueNames() {
    std::vector<std::string> names;
    for (const JudgedValue& catalogued : kJudgedValues) names.emplace_back(catalogued.name);
    return ArrayLiteral(names);
}
std::string CatalogueSlots() {
    return CatalogueNumbers([](const JudgedValue& catalogued) { return catalogued.slot; });
}

// The catalogue index of the value in the answer's columns at, at + 1 and
// at + 2 (item, name, slot); kValueCount for one the catalogue does not hold.
std::size_t CatalogueIndex(const PgResult& rows, int row, int at) {
    const std::optional<int64_t> item = rows.Int(row, at), slot = rows.Int(row, at + 2);
    if (!item || !slot) return kValueCount;
    const JudgedValue* catalogued =
        FindJudgedValue(static_cast<int>(*item), rows.Text(row, at + 1), static_cast<int>(*slot));
    return catalogued == nullptr ? kValueCount
                                 : static_cast<std::size_t>(catalogued - kJudgedValues.data());
}

// Copies the names of merged into tally, most runs first (ties in name
// order, as merged keeps them), so that the bound of tally keeps those with
// the most; runs(T) tells a name's runs, add(T& to, const T& from) adds.
template <class T, class Runs, class Add>
void KeepMost(const BoundedTally<T>& merged, BoundedTally<T>& tally, Runs runs, Add add) {
    std::vector<std::pair<const std::string*, const T*>> order;
    for (const auto& [name, figures] : merged.names()) order.emplace_back(&name, &figures);
    std::stable_sort(order.begin(), order.end(), [&](const auto& a, const auto& b) {
        return runs(*a.second) > runs(*b.second);
    });
    for (const auto& [name, figures] : order) add(tally[*name], *figures);
}

}  // namespace

std::string FirstDayFrom(std::string_view from) {
    if (from.empty()) return "-infinity";
    int y = 0, m = 0, d = 0;
    Split(from, y, m, d);
    if (m < 1) return Day(y, 1, 1);
    if (m > 12) return Day(y + 1, 1, 1);
    if (d < 1) return Day(y, m, 1);
    if (d > DaysIn(y, m)) return m == 12 ? Day(y + 1, 1, 1) : Day(y, m + 1, 1);
    return Day(y, m, d);
}

std::string LastDayTo(std::string_view to) {
    if (to.empty()) return "infinity";
    int y = 0, m = 0, d = 0;
    Split(to, y, m, d);
    if (m < 1) return Day(y - 1, 12, 31);
    if (m > 12) return Day(y, 12, 31);
    if (d < 1) return m == 1 ? Day(y - 1, 12, 31) : Day(y, m - 1, DaysIn(y, m - 1));
    return Day(y, m, std::min(d, DaysIn(y, m)));
}

DatabaseReport::DatabaseReport(int newestMigration) : newest_(newestMigration) {}

bool DatabaseReport::Open(const std::string& uri, std::string& error) {
    // The command line is seen by every user of the machine.
    if (WithoutPassword(uri) != uri) {
        error = "a password in the URI is refused: put it into ~/.pgpass (or PGPASSFILE)";
        return false;
    }
    if (!db_.Connect(uri, error)) return false;
    // One snapshot for every query; the plans of these few queries are not
    // worth a compiler's time, and the units' counting wants room.
    if (!db_.Run("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", error) ||
        !db_.Run("SET LOCAL jit = off", error) || !db_.Run("SET LOCAL work_mem = '64MB'", error) ||
        !CheckSchemaForUse(db_, "the database", newest_, error)) {
        return false;
    }
    SchemaState state;
    if (!ReadSchema(db_, state, error)) return false;
    if (state.version < kOldestReadable) {
        error = "its schema (migration " + std::to_string(state.version) +
                ") is older than the report reads (" + std::to_string(kOldestReadable) +
                "): zul10-records db migrate brings it up";
        return false;
    }
    return true;
}

bool DatabaseReport::ReadFigures(const DateRange& range, bool withDays, Figures& f,
                                 std::string& error) {
    const std::string from = FirstDayFrom(range.from), to = LastDayTo(range.to);
    const auto withBound = [&](int64_t bound) { return Params{from, to, std::to_string(bound)}; };
    bool bad = false;

    // Runs by outcome and failed item, with and without a unit.
    const auto outcomes = db_.Query(kOutcomes, {from, to}, error);
    if (!outcomes) return false;
    for (int i = 0; i < outcomes->rows(); ++i) {
        Outcome outcome{};
        if (!OutcomeOf(outcomes->Text(i, 0), outcome)) continue;
        const int64_t item = Whole(*outcomes, i, 1, bad), n = Whole(*outcomes, i, 3, bad);
        f.all.Add(outcome, n);
        if (outcome == Outcome::Cancelled) f.cancelled += n;
        if (outcome == Outcome::Closed) f.closed += n;
        if (item >= 1 && item <= 7) {
            if (outcome == Outcome::Failed) f.failedByItem[static_cast<size_t>(item - 1)] += n;
            if (outcome == Outcome::CommunicationError) {
                f.communicationByItem[static_cast<size_t>(item - 1)] += n;
            }
        }
        (outcomes->Text(i, 2) == "t" ? f.units.runsWithUnit : f.units.runsWithoutUnit) += n;
    }

    const auto days = db_.Query(kDays, withBound(Figures::kMaxDays), error);
    if (!days) return false;
    int64_t inDays = 0;
    for (int i = 0; i < days->rows(); ++i) {
        Outcome outcome{};
        Figures::Day* day = f.DayOf(days->Text(i, 0));
        if (day == nullptr || !OutcomeOf(days->Text(i, 1), outcome)) continue;
        const int64_t n = Whole(*days, i, 2, bad);
        day->counts.Add(outcome, n);
        inDays += n;
    }
    f.runsOfOtherDays = f.all.runs - inDays;

    // Stations: merged by their names as the tally cuts them, then kept
    // most runs first.
    const auto stations = db_.Query(kStations, withBound(Figures::kMaxStations), error);
    if (!stations) return false;
    BoundedTally<Figures::Station> merged(std::numeric_limits<std::size_t>::max());
    for (int i = 0; i < stations->rows(); ++i) {
        Outcome outcome{};
        if (!OutcomeOf(stations->Text(i, 1), outcome)) continue;
        merged[stations->Text(i, 0)].counts.Add(outcome, Whole(*stations, i, 2, bad));
    }
    const auto units = db_.Query(
        range.bounded() ? kUnitsOfRange : kUnitsOfAllDays,
        {from, to, std::to_string(Figures::kMaxStations), std::to_string(UnitTable::kShown)},
        error);
    if (!units) return false;
    Figures::Units& u = f.units;
    for (int i = 0; i < units->rows(); ++i) {
        const auto n = [&](int column) { return Whole(*units, i, column, bad); };
        if (n(0) == 1) {
            const int64_t first = n(3), last = n(4);
            const bool judged = !units->IsNull(i, 3);
            u.most.push_back({std::string(CutText(units->Text(i, 10), 200)),
                              static_cast<uint32_t>(std::min<int64_t>(n(2), UnitTable::kMaxRuns)),
                              judged, judged && first % 2 == 1, judged && last % 2 == 0});
            continue;
        }
        Figures::Station& station =
            units->IsNull(i, 1) ? merged.Overflow() : merged[units->Text(i, 1)];
        station.units += n(2);
        station.judgedUnits += n(3);
        station.firstPass += n(4);
        u.units += n(2);
        u.judged += n(3);
        u.firstPass += n(4);
        u.finalPass += n(5);
        for (int r = 0; r < 4; ++r) u.byRuns[static_cast<size_t>(r)] += n(6 + r);
    }
    // In the folder's order (UnitTable::MostRuns), on the serials as cut.
    std::sort(u.most.begin(), u.most.end(), [](const auto& a, const auto& b) {
        return UnitTable::ShownBefore(a.runs, a.serial, b.runs, b.serial);
    });
    KeepMost(
        merged, f.stations, [](const Figures::Station& s) { return s.counts.runs; },
        [](Figures::Station& to, const Figures::Station& from) { to.Add(from); });
    // The runs of the stations beyond the kept ones.
    Figures::Station rest = merged.others();
    RunCounts kept;
    for (const auto& [name, s] : merged.names()) kept.Add(s.counts);
    rest.counts = f.all;
    rest.counts.runs -= kept.runs;
    rest.counts.complete -= kept.complete;
    rest.counts.failed -= kept.failed;
    rest.counts.communication -= kept.communication;
    if (rest.counts.runs > 0 || rest.units > 0) f.stations.Overflow().Add(rest);

    // Causes of failures unframed ("failed" for none), limits revisions
    // ("none" for none), each merged by its name as cut.
    const auto causes = db_.Query(kCauses, withBound(kFetchedNames), error);
    if (!causes) return false;
    BoundedTally<int64_t> causeNames(std::numeric_limits<std::size_t>::max());
    int64_t counted = 0;
    for (int i = 0; i < causes->rows(); ++i) {
        const std::string text = causes->Text(i, 0);
        const std::string_view cause = CauseText(text);
        const int64_t n = Whole(*causes, i, 1, bad);
        causeNames[cause.empty() ? OutcomeWord(Outcome::Failed) : cause] += n;
        counted += n;
    }
    const auto plain = [](int64_t n) { return n; };
    const auto sum = [](int64_t& to, int64_t from) { to += from; };
    KeepMost(causeNames, f.causes, plain, sum);
    if (f.all.failed > counted) f.causes.Overflow() += f.all.failed - counted;

    const auto limits = db_.Query(kLimits, withBound(kFetchedNames), error);
    if (!limits) return false;
    BoundedTally<int64_t> revisions(std::numeric_limits<std::size_t>::max(), 16);
    counted = 0;
    for (int i = 0; i < limits->rows(); ++i) {
        const std::string revision = limits->Text(i, 0);
        const int64_t n = Whole(*limits, i, 1, bad);
        revisions[revision.empty() ? std::string_view("none") : std::string_view(revision)] += n;
        counted += n;
    }
    KeepMost(revisions, f.limits, plain, sum);
    if (f.all.runs > counted) f.limits.Overflow() += f.all.runs - counted;

    const auto slowest = db_.Query(kSlowest, withBound(Figures::kSlowest), error);
    if (!slowest) return false;
    for (int i = 0; i < slowest->rows(); ++i) {
        Outcome outcome{};
        if (!OutcomeOf(slowest->Text(i, 2), outcome)) continue;
        f.slowest.push_back({slowest->Real(i, 3).value_or(0),
                             std::string(CutText(slowest->Text(i, 0), 64)),
                             std::string(CutText(slowest->Text(i, 1), 64)),
                             std::string(OutcomeWord(outcome)), std::string(slowest->Text(i, 4))});
    }

    // The readings of the catalogue's values.
    const std::string items = CatalogueItems(), names = CatalogueNames(), slots = CatalogueSlots();
    const auto histogram = db_.Query(kHistogram, {from, to, items, names, slots}, error);
    if (!histogram) return false;
    for (int i = 0; i < histogram->rows(); ++i) {
        const std::size_t v = CatalogueIndex(*histogram, i, 0);
        const int64_t value = Whole(*histogram, i, 3, bad), count = Whole(*histogram, i, 4, bad);
        if (v == kValueCount || value < 0 || value > 255 || count < 0) continue;
        f.values[v].Add(static_cast<uint8_t>(value), kJudgedValues[v],
                        static_cast<uint64_t>(count));
    }
    if (withDays && !f.days.empty()) {
        const std::string lastKept = f.days.rbegin()->first;
        const auto perDay =
            db_.Query(kDayValues, {from, std::min(to, lastKept), items, names, slots}, error);
        if (!perDay) return false;
        for (int i = 0; i < perDay->rows(); ++i) {
            const std::size_t v = CatalogueIndex(*perDay, i, 1);
            const auto day = f.days.find(perDay->Text(i, 0));
            if (v == kValueCount || day == f.days.end()) continue;
            Moments& m = day->second.values[v];
            m.n += static_cast<uint64_t>(Whole(*perDay, i, 4, bad));
            m.sum += static_cast<uint64_t>(Whole(*perDay, i, 5, bad));
            m.sumSquares += static_cast<uint64_t>(Whole(*perDay, i, 6, bad));
        }
    }
    if (bad) {
        error = "the database answered with a figure that is no whole number";
        return false;
    }
    f.FinishValues();
    return true;
}

bool DatabaseReport::ReadRuns(const DateRange& range, const RecordReader::Sink& sink,
                              std::ostream& errors, RecordReader::Tally& tally,
                              std::string& error) {
    const auto files = db_.Query(kFiles, {FirstDayFrom(range.from), LastDayTo(range.to)}, error);
    if (!files) return false;
    RecordParser parser;
    RunRecord run;
    tally.files = -1;
    for (int i = 0; i < files->rows();) {
        // One day's stations, in the order of their files' names.
        const std::string date(files->Text(i, 0));
        std::vector<std::pair<std::string, std::string>> stations;
        for (; i < files->rows() && files->Text(i, 0) == date; ++i) {
            const std::string station(files->Text(i, 1));
            stations.emplace_back(FolderDestination::FileName(date, station), station);
        }
        std::sort(stations.begin(), stations.end());
        std::vector<std::string> order;
        for (auto& [name, station] : stations) order.push_back(std::move(station));
        const bool streamed = db_.Stream(
            kRecordsOfDay, {date, ArrayLiteral(order)},
            [&](const PgResult& row) {
                if (!parser.Parse(row.Text(0, 1), run)) {
                    ++tally.badLines;
                    errors << CleanText("run " + std::string(row.Text(0, 0)) + ": " + parser.why() +
                                        ", skipped")
                           << '\n';
                    return;
                }
                ++tally.records;
                sink(run);
            },
            error);
        if (!streamed) return false;
    }
    return true;
}

}  // namespace zul::records
