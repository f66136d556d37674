#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "adjust/RunRecorder.h"
#include "serial/Clock.h"
#include "serial/LineSettings.h"
#include "serial/MessageSink.h"

namespace zul {

// The run records: one JSON object on one line per run, from Start to the
// run's end, appended to FOLDER/zul10-YYYY-MM-DD.jsonl (the local date of
// the run's start) with AppendRecord, so a crash loses at most the run in
// progress and two bench PCs can share the folder. A record that cannot be
// written gets a message box naming the file.
//
// Each record holds "format" (1), "program", "version", "host", "user",
// "port", "device", "line", "start" and "end" (local ISO 8601 with the UTC
// offset), "seconds", "outcome" ("complete", "failed", "communication
// error", "cancelled", "closed"), for a failed run "failed_item" and "cause"
// (the report's banner line), "exchanges", "retries", and "items": for each
// item reached its "item" number, "title", "verdict" ("pass", "fail",
// "unfinished"), "measured" values, its "report" lines when it failed, and
// for items 3 to 7 "eeprom_written".
// The words of the "outcome" field, as written and as the report reads them.
namespace outcome {
inline constexpr const char* kComplete = "complete";
inline constexpr const char* kFailed = "failed";
inline constexpr const char* kCommunicationError = "communication error";
inline constexpr const char* kCancelled = "cancelled";
inline constexpr const char* kClosed = "closed";
}  // namespace outcome

class RunLog final : public RunRecorder {
public:
    // folder: where the files go; version: the program's version line;
    // clock: the clock of the items' waits (for "seconds"); messages: the
    // boxes. None of the references is owned.
    RunLog(std::string folder, std::string version, Clock& clock, MessageSink& messages);
    ~RunLog() override;

    // Makes the folder and opens today's file for appending, as a run's end
    // will. False, after a box naming the folder and the reason, when it
    // cannot.
    bool CheckFolder();

    // The port settings in force (not owned, may be null), read at each
    // run's start.
    void SetLine(const LineSettings* line) { line_ = line; }

    // The file of a run that starts at moment.
    std::string FileFor(std::chrono::system_clock::time_point moment) const;

    // RunRecorder
    void RunStarted() override;
    void ItemStarted(int number, std::string_view title) override;
    void Measured(std::string_view name, std::span<const uint8_t> values) override;
    void Measured(std::string_view name, int value) override;
    void Cause(std::string_view line) override;
    void EepromWrite(bool written) override;
    void ItemPassed() override;
    void ItemFailed(std::span<const std::string> reportLines) override;
    void RunEnded(RunOutcome outcome, uint32_t exchanges, uint32_t retries) override;

    // The caption of its boxes.
    static constexpr const char* kCaption = "RUN RECORDS";

private:
    struct Run;  // the record being made

    std::string folder_;
    std::string version_;
    Clock& clock_;
    MessageSink& messages_;
    const LineSettings* line_ = nullptr;
    std::unique_ptr<Run> run_;
};

}  // namespace zul
