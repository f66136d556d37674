#include "records/RunExtras.h"

#include <vector>

#include "records/DatabaseUri.h"
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
    if (!config.records.empty() || !config.database.empty()) {
        spool_ = records::Spool::DefaultFolder();
        destination_ = config.records;
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
        // Each destination keeps its own count of what it took; the box
        // names the one whose records wait (the database without its
        // password). The program only reads the spool here: the forward
        // alone reaches the destinations.
        struct Waited {
            std::string key;
            const char* what;   // "records folder", "database"
            std::string where;  // the folder, or the database without its password
        };
        std::vector<Waited> destinations;
        if (!config.records.empty()) {
            destinations.push_back(
                {records::FolderDestination(destination_).Key(), "records folder", destination_});
        }
        if (!config.database.empty()) {
            destinations.push_back({records::DatabaseKey(config.database), "database",
                                    records::WithoutPassword(config.database)});
        }
        const records::Spool spool(spool_);
        bool waits = false;
        for (const Waited& destination : destinations) {
            const records::Spool::Waiting waiting =
                spool.CountWaiting(destination.key, std::chrono::system_clock::now() - kWaitShown);
            waits = waits || waiting.records > 0;
            if (waiting.endedBefore == 0) continue;
            const int n = waiting.endedBefore;
            const std::string what = destination.what;
            messages.ShowExclamation(
                RunLog::kCaption, std::to_string(n) + (n == 1 ? " run record" : " run records") +
                                      " of more than 24 hours ago still " +
                                      (n == 1 ? "waits" : "wait") + " to be delivered to the " +
                                      what + "\n" + destination.where + "\nfrom this PC's spool\n" +
                                      spool_ + ".\nThey go there once the " + what +
                                      " can be reached (see forward.log in the spool).");
        }
        if (waits) StartForward();
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
    // wait long. The forward finds the database in the station's settings
    // itself: a URI given on its command line could be read by any user of
    // the PC.
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
