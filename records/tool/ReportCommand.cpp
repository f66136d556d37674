// zul10-records summary|csv|html: the yield report over a folder of run
// records.
//
//   zul10-records summary FOLDER [--from DATE] [--to DATE]
//   zul10-records csv FOLDER [--from DATE] [--to DATE]
//   zul10-records html FOLDER -o report.html [--from DATE] [--to DATE]
//
// Bad lines are named on the standard error output and skipped. Exit code 0,
// 1 when the folder or the output cannot be used, 2 for a wrong call.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "records/RecordReport.h"
#include "records/tool/Commands.h"

namespace {

constexpr const char* kUsage =
    "usage: zul10-records summary FOLDER [--from YYYY-MM-DD] [--to YYYY-MM-DD]\n"
    "       zul10-records csv FOLDER [--from YYYY-MM-DD] [--to YYYY-MM-DD]\n"
    "       zul10-records html FOLDER -o REPORT.html [--from YYYY-MM-DD] [--to YYYY-MM-DD]\n"
    "\n"
    "Reads the run records ZUL10 writes with ZUL10_RECORDS=FOLDER (zul10-*.jsonl).\n"
    "summary: units per day, yield, failures by item and cause, the slowest runs.\n"
    "csv:     one row per unit, for a spreadsheet, on the standard output.\n"
    "html:    one self-contained page with the yield per day and a Pareto chart\n"
    "         of the failure causes.\n";

int Usage(const std::string& problem) {
    if (!problem.empty()) std::cerr << "zul10-records: " << problem << "\n";
    std::cerr << kUsage;
    return 2;
}

bool IsDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    for (size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u}) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

}  // namespace

int zul::records::ReportCommand(int argc, char** argv) {
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    if (argc < 3) return Usage("");
    const std::string command = argv[1];
    const std::string folder = argv[2];
    if (command != "summary" && command != "csv" && command != "html") {
        return Usage("no command " + command);
    }
    std::string from, to, output;
    for (int i = 3; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (i + 1 >= argc) return Usage("no value after " + std::string(option));
        const std::string value = argv[++i];
        if (option == "--from" || option == "--to") {
            if (!IsDate(value)) return Usage("not a date (YYYY-MM-DD): " + value);
            (option == "--from" ? from : to) = value;
        } else if (option == "-o" && command == "html") {
            output = value;
        } else {
            return Usage("unknown option " + std::string(option));
        }
    }
    if (command == "html" && output.empty()) return Usage("html needs -o FILE");

    zul::records::Records records;
    if (!zul::records::LoadFolder(folder, records, std::cerr)) return 1;
    zul::records::KeepDates(records, from, to);

    if (command == "summary") {
        std::cout << zul::records::SummaryText(records, folder);
    } else if (command == "csv") {
        std::cout << zul::records::CsvText(records);
    } else {
        std::ofstream out(output, std::ios::binary);
        out << zul::records::HtmlPage(records, folder);
        out.close();
        if (!out) {
            std::cerr << "zul10-records: cannot write " << output << "\n";
            return 1;
        }
        std::cerr << "zul10-records: " << records.runs.size() << " runs into " << output << "\n";
    }
    std::cout.flush();
    return std::cout ? 0 : 1;
}
