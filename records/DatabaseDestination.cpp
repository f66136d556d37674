#include "records/DatabaseDestination.h"

#include <algorithm>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

#include "records/DatabaseSchema.h"
#include "records/DatabaseUri.h"

namespace zul::records {

namespace {

// One statement per batch: $1 is a JSON array of record lines. The runs
// first, each once by its run id; then the items and the judged values of
// the runs that this statement inserted (RETURNING gives only those). The
// field names are those of records/RecordFormat.h. A failed item of 0 is a
// record that names none.
constexpr const char* kInsertSql = R"SQL(
WITH batch AS (
    SELECT r FROM jsonb_array_elements($1::jsonb) AS b(r)),
run AS (
    INSERT INTO runs (run_id, format, station, unit, operator, host, program_version,
                      limits_revision, port, device, line, started_at, start_date, ended_at,
                      seconds, outcome, failed_item, cause, exchanges, retries, record)
    SELECT (r->>'run_id')::uuid, (r->>'format')::smallint, r->>'station', r->>'unit',
           r->>'user', r->>'host', r->>'version', r->>'limits', r->>'port', r->>'device',
           r->>'line', (r->>'start')::timestamptz, left(r->>'start', 10)::date,
           (r->>'end')::timestamptz, (r->>'seconds')::double precision, r->>'outcome',
           nullif((r->>'failed_item')::smallint, 0), r->>'cause', (r->>'exchanges')::bigint,
           (r->>'retries')::bigint, r
    FROM batch
    ON CONFLICT (run_id) DO NOTHING
    RETURNING run_id, record),
item AS (
    INSERT INTO items (run_id, item, title, verdict, eeprom_written, report)
    SELECT run.run_id, (i->>'item')::smallint, i->>'title', i->>'verdict',
           (i->>'eeprom_written')::boolean,
           CASE WHEN jsonb_typeof(i->'report') = 'array' THEN
               ARRAY(SELECT l.t FROM jsonb_array_elements_text(i->'report')
                                     WITH ORDINALITY AS l(t, n) ORDER BY l.n) END
    FROM run, jsonb_array_elements(run.record->'items') AS i
    RETURNING 1),
value AS (
    INSERT INTO measured_values (run_id, item, name, slot, label, value, lower, upper, verdict)
    SELECT run.run_id, (i->>'item')::smallint, v->>'name', coalesce((v->>'slot')::smallint, -1),
           v->>'label', (v->>'value')::smallint, (v->>'lower')::smallint,
           (v->>'upper')::smallint, v->>'verdict'
    FROM run, jsonb_array_elements(run.record->'items') AS i,
         jsonb_array_elements(coalesce(i->'values', '[]'::jsonb)) AS v
    RETURNING 1)
SELECT (SELECT count(*) FROM run), (SELECT count(*) FROM item), (SELECT count(*) FROM value)
)SQL";

// A command the server refused for its data (class 22, data exception) or
// for a constraint (class 23): the records are at fault, not the database.
bool RefusedForData(const std::string& sqlState) {
    return sqlState.size() == 5 && (sqlState.starts_with("22") || sqlState.starts_with("23"));
}

}  // namespace

const char* DatabaseDestination::InsertStatement() {
    return kInsertSql;
}

DatabaseDestination::DatabaseDestination(std::string uri, int newest)
    : uri_(std::move(uri)), newest_(newest) {}

DatabaseDestination::~DatabaseDestination() = default;

std::string DatabaseDestination::Name() const {
    return DatabaseName(uri_);
}

std::string DatabaseDestination::Key() const {
    return DatabaseKey(uri_);
}

std::vector<std::string> DatabaseDestination::TakeLeftOut() {
    return std::exchange(leftOut_, {});
}

bool DatabaseDestination::Open(std::string& error) {
    if (connection_.connected() && checked_) return true;
    checked_ = false;
    if (!connection_.Connect(uri_, error)) {
        error = "cannot connect (" + error + ")";
        return false;
    }
    if (!CheckSchemaForUse(connection_, Name(), newest_, error)) {
        connection_.Close();
        return false;
    }
    checked_ = true;
    return true;
}

DatabaseDestination::Stored DatabaseDestination::Store(std::span<const SpooledRecord* const> batch,
                                                       std::string& error) {
    std::string array = "[";
    for (const SpooledRecord* record : batch) {
        if (array.size() > 1) array += ',';
        array += record->line;
    }
    array += ']';
    const std::optional<std::string_view> parameters[] = {array};
    const PgResult result = connection_.Exec(kInsertSql, parameters);
    if (result.ok()) return Stored::kStored;
    error = connection_.ErrorLine(result);
    return RefusedForData(result.sqlState()) ? Stored::kRefused : Stored::kFailed;
}

bool DatabaseDestination::Deliver(std::span<const SpooledRecord> records, std::string& error) {
    leftOut_.clear();  // told only for a delivery that went through
    // The records the database can take, each run once.
    std::vector<const SpooledRecord*> taken;
    std::set<std::string> runs;
    RunRecord run;
    for (const SpooledRecord& record : records) {
        if (!parser_.Parse(record.line, run)) {
            leftOut_.push_back("the record of run " + record.runId + " is no record " + Name() +
                               " takes (" + parser_.why() + ")");
            continue;
        }
        if (run.format != 2) {
            leftOut_.push_back("the record of run " + record.runId + " is of format " +
                               std::to_string(run.format) + ", which " + Name() + " does not take");
            continue;
        }
        if (runs.insert(record.runId).second) taken.push_back(&record);
    }
    if (taken.empty()) return true;
    if (!Open(error)) return false;

    bool reconnected = false;
    for (size_t first = 0; first < taken.size();) {
        const std::span<const SpooledRecord* const> batch(
            taken.data() + first, std::min(kBatchRecords, taken.size() - first));
        const Stored stored = Store(batch, error);
        if (stored == Stored::kFailed) {
            // A connection that broke since the last batch (the server
            // restarted) is made again, once; the batch was not committed.
            if (!connection_.connected() && !reconnected) {
                reconnected = true;
                checked_ = false;
                if (Open(error)) continue;
            }
            return false;
        }
        if (stored == Stored::kRefused) {
            // Each record on its own, to find the ones at fault.
            for (const SpooledRecord* record : batch) {
                std::string why;
                const Stored alone = Store(std::span(&record, 1), why);
                if (alone == Stored::kFailed) {
                    error = why;
                    return false;
                }
                if (alone == Stored::kRefused) {
                    leftOut_.push_back("the record of run " + record->runId + " is refused by " +
                                       Name() + " (" + why + ")");
                }
            }
        }
        first += batch.size();
    }
    return true;
}

}  // namespace zul::records
