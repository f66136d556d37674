// zul10-records forward: delivers the records of the local spool to the
// records folder, the database, or both.
//
//   zul10-records forward [--spool DIR] [--to FOLDER] [--database URI]
//
// Exit code 0 when everything was delivered or there was nothing to do (or
// another forward of that spool runs), 1 when a destination could not be
// reached or refused a record, 2 for a wrong call.
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "records/DatabaseDestination.h"
#include "records/FolderDestination.h"
#include "records/Forward.h"
#include "records/Migrations.h"
#include "records/Spool.h"
#include "records/StationConfig.h"
#include "records/tool/Commands.h"

namespace {

constexpr const char* kUsage =
    "usage: zul10-records forward [--spool DIR] [--to FOLDER] [--database URI]\n"
    "\n"
    "Delivers the run records that zul10 appended to the spool on this PC\n"
    "(DIR; by default $XDG_STATE_HOME/zul10/records, else\n"
    "~/.local/state/zul10/records; %LOCALAPPDATA%\\ZUL10\\records on Windows)\n"
    "to the records folder (FOLDER; by default ZUL10_RECORDS, else \"records\" in\n"
    "the station file), each station's day into a file of its own,\n"
    "zul10-YYYY-MM-DD-STATION.jsonl, and to the PostgreSQL database (URI, a libpq\n"
    "connection URI such as postgresql://bench@dbhost/zul10?sslmode=require; by\n"
    "default ZUL10_DATABASE, else \"database\" in the station file; its password\n"
    "in libpq's password file). Each destination that is set gets every record,\n"
    "with its own count of what it took; a record one has already is not\n"
    "stored again. zul10 starts it after each run; it may also run from a\n"
    "timer. Exit code 0 when everything was delivered or nothing waited, 1\n"
    "when a destination could not be reached or refused (the records wait in\n"
    "the spool; the reason is in DIR/forward.log), 2 for a wrong call.\n";

int Usage(const std::string& problem) {
    if (!problem.empty()) std::cerr << "zul10-records forward: " << problem << "\n";
    std::cerr << kUsage;
    return 2;
}

}  // namespace

int zul::records::ForwardCommand(int argc, char** argv) {
    std::string spool, folder, database;
    for (int i = 2; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--help" || option == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (option != "--spool" && option != "--to" && option != "--database")
            return Usage("unknown option");
        if (i + 1 >= argc || *argv[i + 1] == '\0') return Usage("no value after the option");
        (option == "--spool" ? spool : option == "--to" ? folder : database) = argv[++i];
    }
    if (spool.empty()) spool = Spool::DefaultFolder();
    if (spool.empty()) return Usage("no spool: neither --spool nor the environment names one");
    if (folder.empty() || database.empty()) {
        const StationConfig config = ReadStationConfig(StationFilePath());
        if (folder.empty()) folder = config.records;
        if (database.empty()) database = config.database;
    }
    if (folder.empty() && database.empty()) {
        return Usage(
            "no destination: neither --to, --database, ZUL10_RECORDS, ZUL10_DATABASE nor the "
            "station file " +
            StationFilePath() + " names one");
    }
    std::vector<std::unique_ptr<Destination>> destinations;
    if (!folder.empty()) destinations.push_back(std::make_unique<FolderDestination>(folder));
    if (!database.empty()) {
        destinations.push_back(
            std::make_unique<DatabaseDestination>(database, KnownMigrations().back().version));
    }
    std::vector<Destination*> all;
    for (const auto& destination : destinations) all.push_back(destination.get());
    return Forward(Spool(spool), all, std::cerr).exitCode;
}
