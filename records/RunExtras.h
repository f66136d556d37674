#pragma once

#include <memory>
#include <string>

#include "adjust/RunRecorder.h"
#include "records/RunLog.h"
#include "records/StationConfig.h"
#include "serial/Clock.h"
#include "serial/Line.h"
#include "serial/LineSettings.h"
#include "serial/LineTrace.h"
#include "serial/MessageSink.h"

namespace zul {

// Turn the run records and the line monitor on (records/StationConfig.h);
// both off when unset or empty.
inline constexpr const char* kRecordsVariable = "ZUL10_RECORDS";  // a folder
inline constexpr const char* kTraceVariable = "ZUL10_TRACE";      // a file

// What the station's settings turn on beside the bench screen, made at
// start-up before the port opens: the run records in the records folder, and
// the line monitor on port, appending to the trace file. The station file's
// unused lines are named in one box first. A place that cannot be written is
// shown in a box naming it, once, and the program goes on without that part.
// With neither set, nothing is made and the program stores nothing beyond
// its settings file.
class RunExtras {
public:
    // None of the references is owned; all must outlive this object, and
    // port keeps the monitor only as long as this object lives.
    RunExtras(const StationConfig& config, Line& port, Clock& clock, MessageSink& messages,
              const std::string& version);
    ~RunExtras();
    RunExtras(const RunExtras&) = delete;
    RunExtras& operator=(const RunExtras&) = delete;

    // The recorder the items and the wizard tell: the run records, or
    // NoRecords().
    RunRecorder& recorder();
    // The port settings in force, for the records (not owned; may be null).
    void SetLine(const LineSettings* line);

    bool recording() const { return records_ != nullptr; }
    bool monitoring() const { return trace_ != nullptr; }

    static constexpr const char* kTraceCaption = "LINE MONITOR";

private:
    Line& port_;
    std::unique_ptr<RunLog> records_;
    std::unique_ptr<LineTrace> trace_;
};

}  // namespace zul
