#include "records/DatabaseSchema.h"

#include <cstdio>
#include <optional>
#include <string_view>

namespace zul::records {

namespace {

// The advisory lock that db init and db migrate hold while they work, per
// database: "zul10" in ASCII.
constexpr const char* kLockSql = "SELECT pg_advisory_lock(526784966960)";
constexpr const char* kUnlockSql = "SELECT pg_advisory_unlock(526784966960)";

}  // namespace

bool ReadSchema(PgConnection& connection, SchemaState& state, std::string& error) {
    const PgResult found = connection.Exec(
        "SELECT to_regclass('zul10_schema') IS NOT NULL, current_setting('server_encoding')");
    if (!found.ok()) {
        error = connection.ErrorLine(found);
        return false;
    }
    state.present = found.Text(0, 0) == "t";
    state.encoding = found.Text(0, 1);
    state.version = 0;
    if (!state.present) return true;
    const PgResult newest = connection.Exec("SELECT coalesce(max(version), 0) FROM zul10_schema");
    if (!newest.ok()) {
        error = connection.ErrorLine(newest);
        return false;
    }
    state.version = std::stoi("0" + newest.Text(0, 0));
    return true;
}

namespace {

std::string NewerLine(const std::string& name, int version, int newest) {
    return name + " holds schema version " + std::to_string(version) +
           ", newer than this program's " + std::to_string(newest) +
           ": a newer zul10-records is needed";
}

std::string EncodingLine(const std::string& name, const std::string& encoding) {
    return name + " is a " + encoding +
           " database; the records need UTF8 (CREATE DATABASE ... ENCODING 'UTF8')";
}

// Runs a transaction's closing command; false (after a rollback) when it
// failed.
bool Finish(PgConnection& connection, const char* command, std::string& error) {
    const PgResult done = connection.Exec(command);
    if (!done.ok()) {
        error = connection.ErrorLine(done);
        connection.Exec("ROLLBACK");
        return false;
    }
    return true;
}

}  // namespace

std::string MigrationName(const Migration& migration) {
    char number[16];
    std::snprintf(number, sizeof number, "%04d_", migration.version);
    return number + std::string(migration.name);
}

bool CheckSchemaForUse(PgConnection& connection, const std::string& name, int newest,
                       std::string& error) {
    SchemaState state;
    if (!ReadSchema(connection, state, error)) {
        error = name + ": its schema cannot be read (" + error + ")";
        return false;
    }
    if (state.encoding != "UTF8") {
        error = EncodingLine(name, state.encoding);
        return false;
    }
    if (!state.present || state.version == 0) {
        error = name + " holds no ZUL10 schema: zul10-records db init makes it";
        return false;
    }
    if (state.version > newest) {
        error = NewerLine(name, state.version, newest);
        return false;
    }
    return true;
}

namespace {

MigrationReport ApplyLocked(PgConnection& connection, const std::string& name,
                            SchemaCommand command, std::span<const Migration> migrations) {
    MigrationReport report;
    const int newest = migrations.empty() ? 0 : migrations.back().version;
    SchemaState state;
    if (!ReadSchema(connection, state, report.error)) {
        report.error = name + ": its schema cannot be read (" + report.error + ")";
        return report;
    }
    report.from = report.to = state.version;
    if (state.encoding != "UTF8") {
        report.error = EncodingLine(name, state.encoding);
        return report;
    }
    if (state.version > newest) {
        report.error = NewerLine(name, state.version, newest);
        return report;
    }
    if (command == SchemaCommand::kInit && state.present && state.version > 0) {
        if (state.version == newest) {
            report.ok = true;  // nothing to do
        } else {
            report.error = name + " holds schema version " + std::to_string(state.version) +
                           " already: zul10-records db migrate brings it up to " +
                           std::to_string(newest);
        }
        return report;
    }
    if (command == SchemaCommand::kMigrate && (!state.present || state.version == 0)) {
        report.error = name + " holds no ZUL10 schema to migrate: zul10-records db init makes it";
        return report;
    }
    for (const Migration& migration : migrations) {
        if (migration.version <= state.version) continue;
        const std::string file = MigrationName(migration);
        const PgResult begun = connection.Exec("BEGIN");
        if (!begun.ok()) {
            report.error = name + ": " + connection.ErrorLine(begun);
            return report;
        }
        const PgResult applied = connection.Exec(migration.sql);
        if (!applied.ok()) {
            report.error = name + ": migration " + file +
                           " failed and was rolled back: " + connection.ErrorLine(applied);
            connection.Exec("ROLLBACK");
            return report;
        }
        const std::string version = std::to_string(migration.version);
        const std::optional<std::string_view> row[] = {version, migration.name};
        const PgResult noted =
            connection.Exec("INSERT INTO zul10_schema (version, name) VALUES ($1, $2)", row);
        if (!noted.ok()) {
            report.error = name + ": migration " + file + " cannot be noted in zul10_schema (" +
                           connection.ErrorLine(noted) + "); rolled back";
            connection.Exec("ROLLBACK");
            return report;
        }
        if (!Finish(connection, "COMMIT", report.error)) {
            report.error = name + ": migration " + file + " cannot be committed: " + report.error;
            return report;
        }
        report.applied.push_back(file);
        report.to = migration.version;
    }
    report.ok = true;
    return report;
}

}  // namespace

MigrationReport ApplyMigrations(PgConnection& connection, const std::string& name,
                                SchemaCommand command, std::span<const Migration> migrations) {
    // The lock for the whole session, taken before anything is read: a
    // transaction begun before another's migration committed could still
    // see its tables as missing.
    const PgResult locked = connection.Exec(kLockSql);
    if (!locked.ok()) {
        MigrationReport report;
        report.error = name + ": " + connection.ErrorLine(locked);
        return report;
    }
    MigrationReport report = ApplyLocked(connection, name, command, migrations);
    connection.Exec(kUnlockSql);
    return report;
}

}  // namespace zul::records
