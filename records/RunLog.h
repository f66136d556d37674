#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "adjust/RunRecorder.h"
#include "records/DiskSync.h"
#include "records/RecordFormat.h"
#include "records/Spool.h"
#include "serial/Clock.h"
#include "serial/LineSettings.h"
#include "serial/MessageSink.h"

namespace zul {

// The run records: one JSON object on one line per run (records/
// RecordFormat.h), from Start to the run's end, appended to the local spool
// (records/Spool.h), SPOOL/zul10-YYYY-MM-DD.jsonl (the local date of the
// run's start), and synced before RunEnded returns, so a crash loses at most
// the run in progress; zul10-records forward delivers it from there. A record
// that cannot be spooled gets a message box naming the file, and is kept and
// tried again after each later run (and once more when this object goes).
class RunLog final : public RunRecorder {
public:
    // spool: the spool's folder; station: the station's name; version: the
    // program's version line; clock: the clock of the items' waits (for
    // "seconds"); messages: the boxes; sync: the syncs of the spool's
    // appends. None of the references is owned.
    RunLog(std::string spool, std::string station, std::string version, Clock& clock,
           MessageSink& messages, records::DiskSync& sync = records::RealDiskSync());
    ~RunLog() override;

    // Makes the spool's folder and checks that a run's end can write its file
    // there (making no file). False, after a box naming the folder and the
    // reason, when it cannot.
    bool CheckFolder();

    // Called after each run whose record (and any kept from before) went
    // into the spool: the program starts a forward there. Empty: nothing.
    void SetSpooled(std::function<void()> spooled) { spooled_ = std::move(spooled); }

    // How many records that could not be spooled are kept to be tried again.
    size_t Unspooled() const { return unspooled_.size(); }

    // The port settings in force (not owned, may be null), read at each
    // run's start.
    void SetLine(const LineSettings* line) { line_ = line; }

    // The spool file of a run that starts at moment.
    std::string FileFor(std::chrono::system_clock::time_point moment) const;

    // RunRecorder
    void RunStarted(std::string_view unitId) override;
    void ItemStarted(int number, std::string_view title) override;
    void Measured(std::string_view name, std::span<const uint8_t> values) override;
    void Measured(std::string_view name, int value) override;
    void Judged(const JudgedValue& value, uint8_t reading, bool pass) override;
    void Cause(std::string_view line) override;
    void EepromWrite(bool written) override;
    void ItemPassed() override;
    void ItemFailed(std::span<const std::string> reportLines) override;
    void RunEnded(RunOutcome outcome, uint32_t exchanges, uint32_t retries) override;

    // The caption of its boxes.
    static constexpr const char* kCaption = "RUN RECORDS";

private:
    struct Run;  // the record being made
    // A record that could not be spooled: its day and its line.
    struct KeptRecord {
        std::string date;
        std::string line;
    };
    // Spools the kept records and then line (of date); false, with the file
    // and the reason, when line could not be spooled.
    bool SpoolRecords(const std::string& date, std::string line, std::string& file,
                      std::string& error);

    records::Spool spool_;
    std::string station_;
    std::string version_;
    Clock& clock_;
    MessageSink& messages_;
    const LineSettings* line_ = nullptr;
    std::unique_ptr<Run> run_;
    std::function<void()> spooled_;
    std::vector<KeptRecord> unspooled_;
};

}  // namespace zul
