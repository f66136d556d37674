#include "records/RunExtras.h"

#include "records/FolderDestination.h"
#include "records/HostFacts.h"
#include "records/Spool.h"

namespace zul {

RunExtras::RunExtras(const StationConfig& config, Line& port, Clock& clock, MessageSink& messages,
                     const std::string& version, const std::filesystem::path& forwardProgram)
    : port_(port) {
    if (!config.problems.empty()) {
        messages.ShowExclamation(StationConfig::kCaption, config.ProblemText());
    }
    if (const std::string& folder = config.records; !folder.empty()) {
        spool_ = records::Spool::DefaultFolder();
        destination_ = folder;
        if (spool_.empty()) {
            messages.ShowExclamation(RunLog::kCaption,
                                     "Run records cannot be kept: no folder for them on this PC "
                                     "(the environment names no home folder).\nThe runs go on "
                                     "without them.");
        }
    }
    if (!spool_.empty()) {
        const std::string station = config.station.empty() ? HostName() : config.station;
        records_ = std::make_unique<RunLog>(spool_, station, version, clock, messages);
        // A spool that cannot be written now may be at a run's end: the
        // records are still tried, each with a box of its own when it fails.
        records_->CheckFolder();
        forward_ = std::make_unique<records::ForwardLauncher>(forwardProgram);
        records_->SetSpooled([this] { StartForward(); });
        const records::Spool spool(spool_);
        const records::FolderDestination destination(destination_);
        const records::Spool::Waiting waiting =
            spool.CountWaiting(destination.Key(), std::chrono::system_clock::now() - kWaitShown);
        if (waiting.endedBefore > 0) {
            const int n = waiting.endedBefore;
            messages.ShowExclamation(
                RunLog::kCaption,
                std::to_string(n) + (n == 1 ? " run record" : " run records") +
                    " of more than 24 hours ago still " + (n == 1 ? "waits" : "wait") +
                    " to be delivered to the records folder\n" + destination_ +
                    "\nfrom this PC's spool\n" + spool_ +
                    ".\nThey go there once the folder can be reached (see forward.log in the "
                    "spool).");
        }
        if (waiting.records > 0) StartForward();
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

void RunExtras::StartForward() {
    // One that cannot be started leaves the records in the spool, for the
    // next run's forward or a timer's; the box at start-up tells when they
    // wait long.
    std::string error;
    forward_->Start(spool_, destination_, error);
}

RunRecorder& RunExtras::recorder() {
    return records_ ? static_cast<RunRecorder&>(*records_) : NoRecords();
}

void RunExtras::SetLine(const LineSettings* line) {
    if (records_) records_->SetLine(line);
}

}  // namespace zul
