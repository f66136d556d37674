// zul10-records db: makes and migrates the schema of the records' database.
//
//   zul10-records db init [URI]
//   zul10-records db migrate [URI]
//
// Exit code 0 when the schema is (now) current, 1 when it could not be
// made so, 2 for a wrong call.
#include <iostream>
#include <string>
#include <string_view>

#include "records/DatabaseSchema.h"
#include "records/DatabaseUri.h"
#include "records/Migrations.h"
#include "records/PgConnection.h"
#include "records/StationConfig.h"
#include "records/TextSafety.h"
#include "records/tool/Commands.h"

namespace {

using namespace zul::records;

constexpr const char* kUsage =
    "usage: zul10-records db init [URI]\n"
    "       zul10-records db migrate [URI]\n"
    "\n"
    "Makes (init, on a database without it) or brings up (migrate, on one with\n"
    "an older one) the schema of the records' PostgreSQL database: the numbered\n"
    "migrations built into this program, each in a transaction of its own,\n"
    "noted in the table zul10_schema. Both refuse a database whose schema is\n"
    "newer than this program. URI: a libpq connection URI such as\n"
    "postgresql://admin@dbhost/zul10 (by default ZUL10_DATABASE, else\n"
    "\"database\" in the station file); the password in libpq's password file.\n"
    "The role needs the right to create tables in the database.\n";

int Usage(const std::string& problem) {
    if (!problem.empty()) std::cerr << "zul10-records db: " << CleanText(problem) << "\n";
    std::cerr << kUsage;
    return 2;
}

}  // namespace

int zul::records::DatabaseCommand(int argc, char** argv) {
    if (argc >= 3 && (std::string_view(argv[2]) == "--help" || std::string_view(argv[2]) == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    if (argc < 3 || argc > 4) return Usage("");
    const std::string command = argv[2];
    if (command != "init" && command != "migrate") return Usage("no command db " + command);
    std::string uri = argc == 4 ? argv[3] : "";
    if (uri.empty()) uri = ReadStationConfig(StationFilePath()).database;
    if (uri.empty()) {
        return Usage("no database: neither URI, ZUL10_DATABASE nor the station file " +
                     StationFilePath() + " names one");
    }
    const std::string name = DatabaseName(uri);
    PgConnection connection;
    std::string error;
    if (!connection.Connect(uri, error)) {
        std::cerr << "zul10-records db: cannot connect to " << CleanText(name) << " ("
                  << CleanText(error) << ")\n";
        return 1;
    }
    const MigrationReport report = ApplyMigrations(
        connection, name, command == "init" ? SchemaCommand::kInit : SchemaCommand::kMigrate,
        KnownMigrations());
    for (const std::string& applied : report.applied) {
        std::cout << "zul10-records db: applied " << applied << "\n";
    }
    if (!report.ok) {
        std::cerr << "zul10-records db: " << CleanText(report.error) << "\n";
        return 1;
    }
    std::cout << "zul10-records db: " << CleanText(name) << " holds schema version " << report.to
              << (report.applied.empty() ? " (nothing to do)" : "") << "\n";
    return 0;
}
