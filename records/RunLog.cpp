#include "records/RunLog.h"

#include <array>
#include <cmath>
#include <nlohmann/json.hpp>
#include <random>
#include <system_error>

#include "adjust/JudgedValues.h"
#include "adjust/Reports.h"
#include "records/HostFacts.h"
#include "serial/LineTrace.h"
#include "serial/PortNames.h"

namespace zul {

using Json = nlohmann::ordered_json;

struct RunLog::Run {
    Json record;
    std::string date;  // of the run's start: its spool file's
    uint64_t startMs = 0;
    Json* item = nullptr;  // the item now running, in record["items"]
    std::string cause;
    int failedItem = 0;
};

namespace {

namespace outcome = record::outcome;
namespace verdict = record::verdict;

const char* OutcomeName(RunOutcome ending, const std::string& cause) {
    switch (ending) {
        case RunOutcome::Complete:
            return outcome::kComplete;
        case RunOutcome::Failed:
            return cause == kCommunicationError ? outcome::kCommunicationError : outcome::kFailed;
        case RunOutcome::Cancelled:
            return outcome::kCancelled;
        case RunOutcome::Closed:
            return outcome::kClosed;
    }
    return "unknown";
}

// A random (version 4) UUID in lower case: "0f8e6c1a-3b2d-4e5f-9a0b-1c2d3e4f5a6b".
std::string RandomUuid() {
    std::random_device random;
    std::array<uint8_t, 16> bytes{};
    for (size_t i = 0; i < bytes.size(); i += 4) {
        const uint32_t word = random();
        for (size_t j = 0; j < 4; ++j) bytes[i + j] = static_cast<uint8_t>(word >> (8 * j));
    }
    bytes[6] = static_cast<uint8_t>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<uint8_t>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        text += "0123456789abcdef"[bytes[i] >> 4];
        text += "0123456789abcdef"[bytes[i] & 0x0F];
    }
    return text;
}

}  // namespace

RunLog::RunLog(std::string spool, std::string station, std::string version, Clock& clock,
               MessageSink& messages, records::DiskSync& sync)
    : spool_(std::move(spool), sync),
      station_(std::move(station)),
      version_(std::move(version)),
      clock_(clock),
      messages_(messages) {}

// The last try for the records that could not be spooled; no box, as the
// program ends.
RunLog::~RunLog() {
    for (const KeptRecord& kept : unspooled_) {
        std::string error;
        spool_.Append(kept.date, kept.line, error, true);
    }
}

std::string RunLog::FileFor(std::chrono::system_clock::time_point moment) const {
    return spool_.FileOf(LocalTimeOf(moment).date);
}

bool RunLog::CheckFolder() {
    std::string error;
    if (spool_.CheckFolder(LocalTimeOf(std::chrono::system_clock::now()).date, error)) return true;
    messages_.ShowExclamation(kCaption, "Run records cannot be written to the folder\n" +
                                            spool_.folder() + "\n(" + error +
                                            ").\nThe runs go on without them.");
    return false;
}

bool RunLog::SpoolRecords(const std::string& date, std::string line, std::string& file,
                          std::string& error) {
    std::vector<KeptRecord> kept;
    bool spooled = false;
    for (KeptRecord& record : unspooled_) {
        std::string ignored;
        if (spool_.Append(record.date, record.line, ignored, true)) {
            spooled = true;
        } else {
            kept.push_back(std::move(record));
        }
    }
    unspooled_ = std::move(kept);
    const bool ok = spool_.Append(date, line, error);
    if (!ok) {
        file = spool_.FileOf(date);
        unspooled_.push_back({date, std::move(line)});
    }
    if ((ok || spooled) && spooled_) spooled_();
    return ok;
}

void RunLog::RunStarted(std::string_view unitId) {
    const auto now = std::chrono::system_clock::now();
    run_ = std::make_unique<Run>();
    run_->date = LocalTimeOf(now).date;
    run_->startMs = clock_.NowMs();
    Json& r = run_->record;
    r["format"] = record::kFormat;
    r["program"] = record::kProgram;
    r["version"] = version_;
    r["run_id"] = RandomUuid();
    r["station"] = station_;
    if (!unitId.empty()) r["unit"] = unitId;
    r["limits"] = kLimitsRevision;
    r["host"] = HostName();
    r["user"] = UserName();
    const LineSettings line = line_ != nullptr ? *line_ : LineSettings{};
    r["port"] = line.portName;
    r["device"] = DevicePathForPort(line.portName).value_or("");
    r["line"] = LineTrace::LineText(line);
    r["start"] = LocalTimeOf(now).iso;
    r["items"] = Json::array();
}

void RunLog::ItemStarted(int number, std::string_view title) {
    if (!run_) return;
    Json item;
    item["item"] = number;
    item["title"] = title;
    item["verdict"] = verdict::kUnfinished;
    item["measured"] = Json::object();
    item["values"] = Json::array();
    if (number >= 3) item["eeprom_written"] = false;
    Json& items = run_->record["items"];
    items.push_back(std::move(item));
    run_->item = &items.back();
}

void RunLog::Measured(std::string_view name, std::span<const uint8_t> values) {
    if (!run_ || run_->item == nullptr) return;
    (*run_->item)["measured"][std::string(name)] = std::vector<int>(values.begin(), values.end());
}

void RunLog::Measured(std::string_view name, int value) {
    if (!run_ || run_->item == nullptr) return;
    (*run_->item)["measured"][std::string(name)] = value;
}

void RunLog::Judged(const JudgedValue& value, uint8_t reading, bool pass) {
    if (!run_ || run_->item == nullptr) return;
    Json entry;
    entry["name"] = value.name;
    if (value.slot >= 0) entry["slot"] = value.slot;
    entry["label"] = value.label;
    entry["value"] = reading;
    entry["lower"] = value.lower;
    entry["upper"] = value.upper;
    entry["verdict"] = !value.judged ? verdict::kNotJudged : pass ? verdict::kPass : verdict::kFail;
    (*run_->item)["values"].push_back(std::move(entry));
}

void RunLog::Cause(std::string_view line) {
    if (run_) run_->cause = line;
}

void RunLog::EepromWrite(bool written) {
    if (!run_ || run_->item == nullptr) return;
    (*run_->item)["eeprom_written"] = written;
}

void RunLog::ItemPassed() {
    if (!run_ || run_->item == nullptr) return;
    (*run_->item)["verdict"] = verdict::kPass;
    run_->item = nullptr;
}

void RunLog::ItemFailed(std::span<const std::string> reportLines) {
    if (!run_ || run_->item == nullptr) return;
    Json& item = *run_->item;
    item["verdict"] = verdict::kFail;
    item["report"] = std::vector<std::string>(reportLines.begin(), reportLines.end());
    run_->failedItem = item["item"].get<int>();
}

void RunLog::RunEnded(RunOutcome outcome, uint32_t exchanges, uint32_t retries) {
    if (!run_) return;
    const std::unique_ptr<Run> run = std::move(run_);
    Json& r = run->record;
    r["end"] = LocalTimeOf(std::chrono::system_clock::now()).iso;
    r["seconds"] = std::round(static_cast<double>(clock_.NowMs() - run->startMs)) / 1000.0;
    r["outcome"] = OutcomeName(outcome, run->cause);
    if (outcome == RunOutcome::Failed) {
        r["failed_item"] = run->failedItem;
        r["cause"] = run->cause;
    }
    r["exchanges"] = exchanges;
    r["retries"] = retries;
    // The items last: the fields a reader looks for first stay at the front.
    Json items = std::move(r["items"]);
    r.erase("items");
    r["items"] = std::move(items);

    // Invalid UTF-8 (a host or user name in a legacy code page) is replaced,
    // never a reason to lose the record.
    std::string line = r.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
    std::string file, error;
    if (!SpoolRecords(run->date, std::move(line), file, error)) {
        messages_.ShowExclamation(
            kCaption, "The record of this run could not be written to\n" + file + "\n(" + error +
                          ").\nIt is kept and tried again after the next run.");
    }
}

}  // namespace zul
