// zul10-records: the yield report over the run records of zul10, and the
// delivery of the records from the bench's spool.
#include <string_view>

#include "records/tool/Commands.h"

int main(int argc, char** argv) {
    if (argc >= 2 && std::string_view(argv[1]) == "forward") {
        return zul::records::ForwardCommand(argc, argv);
    }
    return zul::records::ReportCommand(argc, argv);
}
