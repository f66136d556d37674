#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "adjust/JudgedValues.h"

namespace zul::test {

// Record lines made by hand for the report's suites, as nlohmann's JSON
// with its fields in the writer's order.
using RecordJson = nlohmann::ordered_json;

// A format-2 record as the program writes it: a complete run of unit on
// station at start, with the motor speed judged (and whatever change adds).
inline RecordJson Record(const std::string& runId, const std::string& start,
                         const std::string& unit = "", const std::string& station = "bench-1") {
    RecordJson r = {{"format", 2},           {"program", "zul10"},
                    {"version", "1.01-01"},  {"run_id", runId},
                    {"station", station},    {"limits", std::string(zul::kLimitsRevision)},
                    {"host", station},       {"user", "operator"},
                    {"port", "COM1"},        {"device", "/dev/ttyUSB0"},
                    {"line", "9600 8E1"},    {"start", start},
                    {"end", start},          {"seconds", 12.5},
                    {"outcome", "complete"}, {"exchanges", 37},
                    {"retries", 0},          {"items", RecordJson::array()}};
    if (!unit.empty()) r["unit"] = unit;
    return r;
}

// An item 7 with its judged motor speed.
inline RecordJson SpeedItem(int speed) {
    return {{"item", 7},
            {"title", "Motor speed check"},
            {"verdict", speed >= 89 && speed <= 121 ? "pass" : "fail"},
            {"measured", {{"speed", speed}}},
            {"values",
             {{{"name", "speed"},
               {"label", "Motor speed"},
               {"value", speed},
               {"lower", 89},
               {"upper", 121},
               {"verdict", speed >= 89 && speed <= 121 ? "pass" : "fail"}}}},
            {"eeprom_written", true}};
}

inline RecordJson Failed(RecordJson r, int item, const std::string& cause,
                         const char* outcome = "failed") {
    r["outcome"] = outcome;
    r["failed_item"] = item;
    r["cause"] = cause;
    return r;
}

}  // namespace zul::test
