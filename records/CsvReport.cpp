#include "records/CsvReport.h"

#include "records/CsvWriter.h"
#include "records/Numbers.h"

namespace zul::records::csv_report {

namespace {

constexpr const char* kRunColumns[] = {
    "run_id",  "station",     "unit",  "limits",         "judged_by", "start",  "end",
    "seconds", "host",        "user",  "version",        "port",      "device", "line",
    "outcome", "failed_item", "cause", "failing_values", "exchanges", "retries"};

// "3.ad.3 Front Red 61 (62-92); 3.ad.4 ...": the values the run failed.
std::string FailingValues(const RunRecord& run) {
    std::string text;
    for (size_t i = 0; i < kValueCount; ++i) {
        if (run.verdicts[i] != Verdict::Fail) continue;
        const JudgedValue& catalogued = kJudgedValues[i];
        if (!text.empty()) text += "; ";
        text += ValueKey(catalogued) + " " + std::string(catalogued.label) + " " +
                std::to_string(run.readings[i]) + " (" + std::to_string(run.lower[i]) + "-" +
                std::to_string(run.upper[i]) + ")";
    }
    return text;
}

}  // namespace

void Header(std::string& out) {
    CsvWriter csv(out);
    for (const char* column : kRunColumns) csv.Text(column);
    for (int i = 1; i <= 7; ++i) csv.Text("item" + std::to_string(i));
    for (const JudgedValue& catalogued : kJudgedValues) csv.Text(ValueKey(catalogued));
    for (size_t i = 0; i < kExtraColumns; ++i) csv.Text(ExtraKey(i));
    for (int item = 3; item <= 7; ++item) csv.Text(std::to_string(item) + ".eeprom_written");
    csv.EndRow();
}

void Row(const RunRecord& run, std::string& out) {
    CsvWriter csv(out);
    csv.Text(run.runId);
    csv.Text(run.station);
    csv.Text(run.unit);
    csv.Text(run.judgedByReport() ? kLimitsRevision : std::string_view(run.limits));
    csv.Text(run.judgedByReport() ? "report" : "program");
    csv.Text(run.start);
    csv.Text(run.end);
    csv.Figure(Fixed(run.seconds, 3));
    csv.Text(run.host);
    csv.Text(run.user);
    csv.Text(run.version);
    csv.Text(run.port);
    csv.Text(run.device);
    csv.Text(run.line);
    csv.Text(OutcomeWord(run.outcome));
    if (run.failedItem > 0) {
        csv.Number(run.failedItem);
    } else {
        csv.Empty();
    }
    csv.Text(CauseText(run.cause));
    csv.Text(FailingValues(run));
    csv.Number(run.exchanges);
    csv.Number(run.retries);
    for (Verdict verdict : run.items) csv.Text(VerdictWord(verdict));
    for (int16_t reading : run.readings) {
        if (reading >= 0) {
            csv.Number(reading);
        } else {
            csv.Empty();
        }
    }
    for (int16_t reading : run.extras) {
        if (reading >= 0) {
            csv.Number(reading);
        } else {
            csv.Empty();
        }
    }
    for (size_t item = 3; item <= 7; ++item) {
        const int8_t written = run.eepromWritten[item - 1];
        csv.Text(written < 0 ? "" : written ? "yes" : "no");
    }
    csv.EndRow();
}

}  // namespace zul::records::csv_report
