// zul10-records: the yield report over the run records of zul10, the
// delivery of the records from the bench's spool, and the schema of the
// records' database.
#include <string>
#include <string_view>
#include <vector>

#include "records/tool/Commands.h"
#include "serial/Utf8.h"

int main(int argc, char** argv) {
    // In UTF-8 as everything inside (on Windows from the wide command line: a
    // spool under a Japanese user's folder comes whole).
    std::vector<std::string> arguments = zul::ArgumentsUtf8(argc, argv);
    std::vector<char*> utf8;
    for (std::string& argument : arguments) utf8.push_back(argument.data());
    utf8.push_back(nullptr);
    const int count = static_cast<int>(arguments.size());
    if (count >= 2 && std::string_view(utf8[1]) == "forward") {
        return zul::records::ForwardCommand(count, utf8.data());
    }
    if (count >= 2 && std::string_view(utf8[1]) == "db") {
        return zul::records::DatabaseCommand(count, utf8.data());
    }
    return zul::records::ReportCommand(count, utf8.data());
}
