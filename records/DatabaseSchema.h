#pragma once

#include <span>
#include <string>
#include <vector>

#include "records/Migrations.h"
#include "records/PgConnection.h"

namespace zul::records {

// The schema of the records' database: the numbered migrations
// (records/Migrations.h), each applied once, in its own transaction, and
// noted in the table zul10_schema. The program never changes a schema by
// itself: only zul10-records db init and db migrate apply migrations.

// What a database holds of the schema.
struct SchemaState {
    bool present = false;  // zul10_schema is there
    int version = 0;       // its newest applied migration; 0 when none
    std::string encoding;  // the database's encoding ("UTF8")
};

// Reads the state of the database connection leads to. False, with the
// reason as one line in error, when it cannot be read.
bool ReadSchema(PgConnection& connection, SchemaState& state, std::string& error);

// Whether a program that knows the migrations up to newest may store runs in
// (or read them from) the database: its schema is there, no newer than
// newest, and the database is UTF8. False with one line in error naming the
// database (name) and what to do.
bool CheckSchemaForUse(PgConnection& connection, const std::string& name, int newest,
                       std::string& error);

// zul10-records db init (kInit: on a database without the schema) and db
// migrate (kMigrate: on one with an older schema): applies the migrations
// missing from it, in order, each with its row in zul10_schema in one
// transaction, under an advisory lock held throughout, so that two at once
// apply each once.
// Both refuse a database whose schema is newer than the last of migrations,
// init one that has the schema already (nothing to do when it is current),
// migrate one that has none.
enum class SchemaCommand { kInit, kMigrate };
struct MigrationReport {
    bool ok = false;
    int from = 0;                      // the version found
    int to = 0;                        // the version left (from, when nothing was applied)
    std::vector<std::string> applied;  // "0002_indexes", in order
    std::string error;                 // one line, when !ok
};
MigrationReport ApplyMigrations(PgConnection& connection, const std::string& name,
                                SchemaCommand command, std::span<const Migration> migrations);

// The file name of a migration, "0001_runs".
std::string MigrationName(const Migration& migration);

}  // namespace zul::records
