#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "adjust/RunRecorder.h"
#include "records/ForwardLauncher.h"
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
// start-up before the port opens: the run records, and the line monitor on
// port, appending to the trace file. The station file's unused lines are
// named in one box first. A place that cannot be written is shown in a box
// naming it, once, and the program goes on without that part. With neither
// set, nothing is made and the program stores nothing beyond its settings
// file.
//
// The records go into this user's spool (records/Spool.h) on the PC's own
// disk when a records folder or a database (or both) is set; after each
// one, and at start-up when records wait, a forward (zul10-records forward,
// a process of its own that is never waited for) delivers them to each.
// Nothing here touches the records folder, which may be a share that hangs,
// nor the database: the program loads no database library. When records of
// runs that ended more than 24 hours ago still wait at start-up, one box per
// destination names it (a database without its password) and how many.
class RunExtras {
public:
    // None of the references is owned; all must outlive this object, and
    // port keeps the monitor only as long as this object lives.
    // forwardProgram: the zul10-records program that delivers the records
    // (ProgramBeside("zul10-records")); empty: none is started.
    RunExtras(const StationConfig& config, Line& port, Clock& clock, MessageSink& messages,
              const std::string& version, const std::filesystem::path& forwardProgram);
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
    // Records waiting longer than this at start-up are shown.
    static constexpr std::chrono::hours kWaitShown{24};

private:
    void StartForward();

    Line& port_;
    std::string spool_;        // the spool's folder
    std::string destination_;  // the records folder; empty when only a database is set
    std::unique_ptr<records::ForwardLauncher> forward_;
    std::unique_ptr<RunLog> records_;
    std::unique_ptr<LineTrace> trace_;
};

}  // namespace zul
