// zul10-records summary|csv|html: the yield report over a folder of run
// records, or over a ZUL10 database (a postgresql:// URI in the folder's
// place; records/DatabaseReport.h), the same report either way.
//
//   zul10-records summary FOLDER|URI [--from DATE] [--to DATE]
//   zul10-records csv FOLDER|URI [--from DATE] [--to DATE] [--excel]
//   zul10-records html FOLDER|URI -o report.html [--from DATE] [--to DATE]
//
// Problems (bad lines, entries that are no regular file, unreadable files)
// are named on the standard error output, made safe for a terminal. Exit
// code 0; 1 when the folder, a record file or the output could not be
// used (the report of the rest is still given), or the database could not
// be read (one line tells why); 2 for a wrong call.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "records/CsvReport.h"
#include "records/CsvWriter.h"
#include "records/DatabaseReport.h"
#include "records/DatabaseUri.h"
#include "records/Figures.h"
#include "records/HtmlReport.h"
#include "records/Migrations.h"
#include "records/RecordReader.h"
#include "records/SummaryText.h"
#include "records/TextSafety.h"
#include "records/tool/Commands.h"
#include "serial/Utf8.h"

namespace {

using namespace zul::records;

constexpr const char* kUsage =
    "usage: zul10-records summary FOLDER|URI [--from YYYY-MM-DD] [--to YYYY-MM-DD]\n"
    "       zul10-records csv FOLDER|URI [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--excel]\n"
    "       zul10-records html FOLDER|URI -o REPORT.html [--from YYYY-MM-DD] [--to YYYY-MM-DD]\n"
    "       zul10-records forward [--spool DIR] [--to FOLDER] [--database URI]\n"
    "       zul10-records db init|migrate [URI]\n"
    "\n"
    "Reads the run records ZUL10 writes with ZUL10_RECORDS=FOLDER (zul10-*.jsonl),\n"
    "or those forwarded into a database: URI postgresql://user@host/dbname.\n"
    "summary: runs per day, yield by unit, stations, failures by item and cause,\n"
    "         the values closest to their limits, the slowest runs.\n"
    "csv:     one row per run, for a spreadsheet, on the standard output\n"
    "         (--excel: with a byte order mark, as Excel wants UTF-8).\n"
    "html:    one self-contained page: yield per day and by unit, stations,\n"
    "         failure causes, and the process capability of every judged value.\n";

int Usage(const std::string& problem) {
    if (!problem.empty()) std::cerr << "zul10-records: " << CleanText(problem) << "\n";
    std::cerr << kUsage;
    return 2;
}

// Writes bytes to the standard output; false when it cannot take them.
bool Out(std::string_view bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
}

}  // namespace

int zul::records::ReportCommand(int argc, char** argv) {
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    if (argc < 3) return Usage("");
    const std::string command = argv[1];
    const std::string source = argv[2];
    if (command != "summary" && command != "csv" && command != "html") {
        return Usage("no command " + command);
    }
    DateRange range;
    std::string output;
    bool excel = false;
    for (int i = 3; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option == "--excel" && command == "csv") {
            excel = true;
            continue;
        }
        if (i + 1 >= argc) return Usage("no value after " + std::string(option));
        const std::string value = argv[++i];
        if (option == "--from" || option == "--to") {
            if (!IsDate(value)) return Usage("not a date (YYYY-MM-DD): " + value);
            (option == "--from" ? range.from : range.to) = value;
        } else if (option == "-o" && command == "html") {
            output = value;
        } else {
            return Usage("unknown option " + std::string(option));
        }
    }
    if (command == "html" && output.empty()) return Usage("html needs -o FILE");
#ifdef _WIN32
    // CSV rows end in CR LF of their own; no second CR from a text stream.
    _setmode(_fileno(stdout), _O_BINARY);
#endif

    RecordReader reader(std::cerr);
    RecordReader::Tally tally;
    Figures figures;
    bool read = false;
    std::string rows;
    bool written = true;
    // Each run's row, written out in blocks as the runs come.
    const auto row = [&](const RunRecord& run) {
        csv_report::Row(run, rows);
        if (rows.size() >= (1u << 16)) {
            written = Out(rows) && written;
            rows.clear();
        }
    };
    if (command == "csv") {
        if (excel) rows += CsvWriter::kByteOrderMark;
        csv_report::Header(rows);
    }
    // A database is named without any password its URI holds.
    const std::string name = IsDatabaseUri(source) ? WithoutPassword(source) : source;
    if (IsDatabaseUri(source)) {
        DatabaseReport database(KnownMigrations().back().version);
        std::string error;
        tally.files = -1;
        read = database.Open(source, error) &&
               (command == "csv" ? database.ReadRuns(range, row, std::cerr, tally, error)
                                 : database.ReadFigures(range, command == "html", figures, error));
        if (!read) std::cerr << "zul10-records: " << CleanText(name + ": " + error) << "\n";
    } else {
        if (command == "csv") {
            read = reader.ReadFolder(source, range, row);
        } else {
            read =
                reader.ReadFolder(source, range, [&](const RunRecord& run) { figures.Add(run); });
            figures.Finish();
        }
        tally = reader.tally();
    }
    if (command == "csv") written = Out(rows) && written;
    if (!read) return 1;

    if (command == "summary") {
        written = Out(SummaryText(figures, tally, name));
    } else if (command == "html") {
        std::ofstream out(zul::PathFromUtf8(output), std::ios::binary | std::ios::trunc);
        out << HtmlPage(figures, tally, name);
        out.close();
        if (!out) {
            std::cerr << "zul10-records: cannot write " << CleanText(output) << "\n";
            return 1;
        }
        std::cerr << "zul10-records: " << figures.all.runs << " runs into " << CleanText(output)
                  << "\n";
    }
    written = std::fflush(stdout) == 0 && written;
    if (!written) {
        std::cerr << "zul10-records: the standard output cannot be written\n";
        return 1;
    }
    return tally.readError ? 1 : 0;
}
