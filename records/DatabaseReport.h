#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "records/Figures.h"
#include "records/PgConnection.h"
#include "records/RecordReader.h"

namespace zul::records {

// The bounds of a date range as the database takes them: a real day
// ("2026-02-31" as --from is 2026-03-01, as --to 2026-02-28: the days a
// folder's names would match), "-infinity" or "infinity" for no bound.
std::string FirstDayFrom(std::string_view from);
std::string LastDayTo(std::string_view to);

// The report read from a ZUL10 database (records/sql/): the figures the
// same records give from a folder, counted by the server from the totals
// the schema keeps (records/sql/0003_totals.sql), so that the report of a
// million runs reads a few thousand rows; the same writers print them.
//
// Where the folder keeps the first names it reads up to a bound (stations,
// causes, limits revisions) and counts the rest as others, the database
// keeps the names with the most runs (ties in byte order); it counts every
// unit, where a folder stops at UnitTable::kMaxUnits. The two reports
// differ beyond those bounds only.
//
// Everything is read in one read-only transaction (REPEATABLE READ): one
// snapshot, whatever forwards commit meanwhile. Every value from the server
// is text from whoever wrote the database, shown only through the report's
// escaping writers; every value sent is a bound parameter.
class DatabaseReport {
public:
    // The oldest migration the report reads (its totals).
    static constexpr int kOldestReadable = 3;

    // newestMigration: the newest migration this program knows
    // (KnownMigrations).
    explicit DatabaseReport(int newestMigration);

    // Connects to uri and checks its schema. False with a one-line error
    // when the server cannot be reached or refuses, when the database holds
    // no ZUL10 schema, or one older than the report reads or newer than
    // this program knows.
    bool Open(const std::string& uri, std::string& error);

    // Fills figures with the runs of range and finishes them (no Finish
    // call needed). withDays: also each day's readings, for the html
    // page's run charts. False with error when a query failed.
    bool ReadFigures(const DateRange& range, bool withDays, Figures& figures, std::string& error);

    // Hands each run of range to sink, in the order a folder of the same
    // records gives: by day, then by station in the order of their record
    // files' names, then by start and run id (a folder's file holds its
    // runs in the order they were delivered: by start, for one bench of a
    // station). A stored record that is no record is named on errors,
    // counted in tally.badLines and skipped; tally.records counts the rest.
    // False with error when a query failed.
    bool ReadRuns(const DateRange& range, const RecordReader::Sink& sink, std::ostream& errors,
                  RecordReader::Tally& tally, std::string& error);

private:
    PgConnection db_;
    int newest_;
};

}  // namespace zul::records
