#pragma once

#include <string>

#include "records/RunRecord.h"

namespace zul::records {

// The csv command's rows: one a run, in fixed columns, so that rows can be
// written as the runs are read. The run's fields (run_id ... retries, with
// "judged_by": "program" for a run judged at the bench, "report" for a
// format-1 run the report judged, and "failing_values" naming each failed
// value with its reading and limits), the seven items' verdicts, one column
// per catalogue value (adjust/JudgedValues.h: "2.paper_in.back", "3.da.0",
// ..., "7.speed"), the known measured extras and the EEPROM writes.
namespace csv_report {

// The header row, appended to out.
void Header(std::string& out);
// The row of run, appended to out.
void Row(const RunRecord& run, std::string& out);

}  // namespace csv_report
}  // namespace zul::records
