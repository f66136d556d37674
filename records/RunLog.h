#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "adjust/RunRecorder.h"
#include "records/RecordFormat.h"
#include "serial/Clock.h"
#include "serial/LineSettings.h"
#include "serial/MessageSink.h"

namespace zul {

// The run records: one JSON object on one line per run (records/
// RecordFormat.h), from Start to the run's end, appended to
// FOLDER/zul10-YYYY-MM-DD.jsonl (the local date of the run's start) with
// AppendRecord, so a crash loses at most the run in progress and two bench
// PCs can share the folder. A record that cannot be written gets a message
// box naming the file.
class RunLog final : public RunRecorder {
public:
    // folder: where the files go; station: the station's name; version: the
    // program's version line; clock: the clock of the items' waits (for
    // "seconds"); messages: the boxes. None of the references is owned.
    RunLog(std::string folder, std::string station, std::string version, Clock& clock,
           MessageSink& messages);
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
    void RunStarted(std::string_view unitId) override;
    void ItemStarted(int number, std::string_view title) override;
    void Measured(std::string_view name, std::span<const uint8_t> values) override;
    void Measured(std::string_view name, int value) override;
    void Judged(const ValueSpec& value, uint8_t reading, bool pass) override;
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
    std::string station_;
    std::string version_;
    Clock& clock_;
    MessageSink& messages_;
    const LineSettings* line_ = nullptr;
    std::unique_ptr<Run> run_;
};

}  // namespace zul
