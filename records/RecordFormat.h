#pragma once

// The run record as the program writes it and every reader reads it: one
// JSON object on one line per run, in files named by the local date of the
// runs' start: zul10-YYYY-MM-DD.jsonl in a bench's spool, and
// zul10-YYYY-MM-DD-STATION.jsonl (one per station) in the records folder.
//
// Format 2 (written since 1.01-01 with station, unit and limits):
//   "format"       2
//   "program"      "zul10"
//   "version"      the program's version line, "1.01-01"
//   "run_id"       a random UUID made at Start, lower-case, 36 characters;
//                  the same record delivered twice is the same run
//   "station"      the station's name (the station file), else the host name
//   "unit"         the unit's serial number as scanned; absent when none
//   "limits"       the limits revision: 8 hexadecimal digits that change with
//                  any limit table the program judges by
//   "host", "user", "port", "device", "line"
//   "start", "end" local ISO 8601 to the millisecond with the UTC offset
//   "seconds"      the run's length
//   "outcome"      one of the outcome words below
//   "failed_item"  1 to 7, and "cause" (the report's banner line, or
//                  "Communication error"): only when the outcome is
//                  "failed" or "communication error"
//   "exchanges", "retries"
//   "items"        for each item reached, in order:
//     "item"           1 to 7
//     "title"          "White level adjustment"
//     "verdict"        "pass", "fail", "unfinished"
//     "measured"       the readings as the unit sent them: name -> number or
//                      list of numbers
//     "values"         every value the item judged, in its order:
//                        "name"  "da", "ad", "paper_in.back", "peak", ...
//                        "slot"  the sensor slot 0-29 (optical values only)
//                        "label" "Front Ir", "Back lever", "Motor speed"
//                        "value", "lower", "upper" (both bounds inclusive)
//                        "verdict" "pass", "fail", or "not judged" for a
//                                  value shown against limits that the item
//                                  does not judge (the mag A/D sample)
//     "report"         the result area's lines, when the item failed
//     "eeprom_written" items 3 to 7: whether the unit stored its adjustment
//
// Format 1 (1.01-01 before station and unit) is format 2 without
// "run_id", "station", "unit", "limits" and the items' "values". A reader
// judges its measured values against its own limit tables.
namespace zul::record {

inline constexpr int kFormat = 2;
inline constexpr const char* kProgram = "zul10";

// The words of the "outcome" field.
namespace outcome {
inline constexpr const char* kComplete = "complete";
inline constexpr const char* kFailed = "failed";
inline constexpr const char* kCommunicationError = "communication error";
inline constexpr const char* kCancelled = "cancelled";
inline constexpr const char* kClosed = "closed";
}  // namespace outcome

// The words of the items' and the values' "verdict" fields.
namespace verdict {
inline constexpr const char* kPass = "pass";
inline constexpr const char* kFail = "fail";
inline constexpr const char* kUnfinished = "unfinished";
inline constexpr const char* kNotJudged = "not judged";
}  // namespace verdict

}  // namespace zul::record
