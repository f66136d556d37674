#include "records/RunExtras.h"

#include "records/HostFacts.h"

namespace zul {

RunExtras::RunExtras(const StationConfig& config, Line& port, Clock& clock, MessageSink& messages,
                     const std::string& version)
    : port_(port) {
    if (!config.problems.empty()) {
        messages.ShowExclamation(StationConfig::kCaption, config.ProblemText());
    }
    if (const std::string& folder = config.records; !folder.empty()) {
        const std::string station = config.station.empty() ? HostName() : config.station;
        records_ = std::make_unique<RunLog>(folder, station, version, clock, messages);
        // A folder that cannot be written now may be there at a run's end (a
        // share that comes back): the records are still tried, each with a box
        // of its own when it fails.
        records_->CheckFolder();
    }
    if (const std::string& file = config.trace; !file.empty()) {
        auto trace = std::make_unique<LineTrace>();
        std::string error;
        const std::string header = "ZUL10 " + version + " line monitor, started " +
                                   LocalTimeOf(std::chrono::system_clock::now()).iso + " on " +
                                   HostName() + ", process " + std::to_string(ProcessId());
        if (trace->Open(file, header, error)) {
            trace_ = std::move(trace);
            port_.SetMonitor(trace_.get());
        } else {
            messages.ShowExclamation(kTraceCaption, "The line monitor cannot write to\n" + file +
                                                        "\n(" + error +
                                                        ").\nThe program goes on without it.");
        }
    }
}

RunExtras::~RunExtras() {
    if (trace_) port_.SetMonitor(nullptr);
}

RunRecorder& RunExtras::recorder() {
    return records_ ? static_cast<RunRecorder&>(*records_) : NoRecords();
}

void RunExtras::SetLine(const LineSettings* line) {
    if (records_) records_->SetLine(line);
}

}  // namespace zul
