#pragma once

#include <span>
#include <string>
#include <vector>

#include "records/Destination.h"
#include "records/PgConnection.h"
#include "records/RecordParser.h"

namespace zul::records {

// A PostgreSQL database as a destination (libpq): each record becomes a row
// of runs, with its items and its judged values, and the whole line as
// jsonb (records/sql/0001_runs.sql). A batch of records is one statement,
// and so one transaction: its runs are inserted with ON CONFLICT (run_id)
// DO NOTHING, and only the runs that were inserted get their items and
// values. Records go in as one bound parameter (a JSON array of the lines);
// the server takes the fields out of it, so nothing of a record is ever
// SQL text. Deliver returns true only after the server committed (with
// synchronous_commit on), so the spool's bookkeeping moves only then; a
// forward cut off before that delivers the batch again, and what the
// database has already is left out by its run id.
//
// The connection is made at the first Deliver and kept for the next; the
// database is checked once per connection: UTF8, with the schema of db init,
// no newer than this program's migrations. A connection lost between two
// batches (a server restarted) is made again once.
//
// A record the database cannot take (one the report's reader refuses, one
// not of format 2, or one the server refuses as data: a field out of range,
// a duplicate item) is left out, and named by TakeLeftOut: the rest are
// delivered, and it does not hold up the spool for ever.
class DatabaseDestination final : public Destination {
public:
    // uri: a libpq connection URI or string (ZUL10_DATABASE); newest: the
    // newest schema version this program knows (KnownMigrations).
    DatabaseDestination(std::string uri, int newest);
    ~DatabaseDestination() override;

    // "the database URI" and "database URI", URI without its passwords.
    std::string Name() const override;
    std::string Key() const override;
    bool Deliver(std::span<const SpooledRecord> records, std::string& error) override;
    std::vector<std::string> TakeLeftOut() override;

    // The statement a batch is delivered with: $1 is a JSON array of record
    // lines; its one row tells the runs, items and values inserted.
    static const char* InsertStatement();
    // How many records go into one statement at most.
    static constexpr size_t kBatchRecords = 250;

private:
    enum class Stored { kStored, kRefused, kFailed };
    bool Open(std::string& error);
    Stored Store(std::span<const SpooledRecord* const> batch, std::string& error);

    std::string uri_;
    int newest_;
    PgConnection connection_;
    bool checked_ = false;  // the open connection's database was checked
    RecordParser parser_;
    std::vector<std::string> leftOut_;
};

}  // namespace zul::records
