// zul10-records forward: delivers the records of the local spool to the
// records folder.
//
//   zul10-records forward [--spool DIR] [--to FOLDER]
//
// Exit code 0 when everything was delivered or there was nothing to do (or
// another forward of that spool runs), 1 when the folder could not be
// reached or refused a record, 2 for a wrong call.
#include <iostream>
#include <string>
#include <string_view>

#include "records/FolderDestination.h"
#include "records/Forward.h"
#include "records/Spool.h"
#include "records/StationConfig.h"
#include "records/tool/Commands.h"

namespace {

constexpr const char* kUsage =
    "usage: zul10-records forward [--spool DIR] [--to FOLDER]\n"
    "\n"
    "Delivers the run records that zul10 appended to the spool on this PC\n"
    "(DIR; by default $XDG_STATE_HOME/zul10/records, else\n"
    "~/.local/state/zul10/records; %LOCALAPPDATA%\\ZUL10\\records on Windows)\n"
    "to the records folder (FOLDER; by default ZUL10_RECORDS, else \"records\" in\n"
    "the station file), each station's day into a file of its own,\n"
    "zul10-YYYY-MM-DD-STATION.jsonl. A record the folder has already is not\n"
    "written again. zul10 starts it after each run; it may also run from a\n"
    "timer. Exit code 0 when everything was delivered or nothing waited, 1\n"
    "when the folder could not be reached or refused (the records wait in the\n"
    "spool; the reason is in DIR/forward.log), 2 for a wrong call.\n";

int Usage(const std::string& problem) {
    if (!problem.empty()) std::cerr << "zul10-records forward: " << problem << "\n";
    std::cerr << kUsage;
    return 2;
}

}  // namespace

int zul::records::ForwardCommand(int argc, char** argv) {
    std::string spool, folder;
    for (int i = 2; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--help" || option == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (option != "--spool" && option != "--to") return Usage("unknown option");
        if (i + 1 >= argc || *argv[i + 1] == '\0') return Usage("no value after the option");
        (option == "--spool" ? spool : folder) = argv[++i];
    }
    if (spool.empty()) spool = Spool::DefaultFolder();
    if (spool.empty()) return Usage("no spool: neither --spool nor the environment names one");
    if (folder.empty()) folder = ReadStationConfig(StationFilePath()).records;
    if (folder.empty()) {
        return Usage("no records folder: neither --to, ZUL10_RECORDS nor the station file " +
                     StationFilePath() + " names one");
    }
    FolderDestination destination(folder);
    return Forward(Spool(spool), destination, std::cerr).exitCode;
}
