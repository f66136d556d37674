#pragma once

#include <chrono>
#include <string>

namespace zul::records {

// One run record as the spool holds it, read back for delivery.
struct SpooledRecord {
    std::string runId;    // the record's "run_id": the same run is the same record
    std::string station;  // its "station"; the host name when it has none
    std::string date;     // the local date of the run's start, "YYYY-MM-DD"
    std::string line;     // the record as written, without its newline
    // When the run ended (its "end"); the epoch when the record does not say.
    std::chrono::system_clock::time_point ended{};
};

}  // namespace zul::records
