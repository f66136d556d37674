#include "records/Forward.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "records/HostFacts.h"
#include "records/RecordFile.h"
#include "serial/FileStore.h"

namespace zul::records {

namespace {

// How much of a day file one delivery takes: some hundreds of records.
constexpr size_t kChunkBytes = 4 * 1024 * 1024;
// Bounds on the loops, far beyond what a bench makes between two looks.
constexpr int kMaxRounds = 100;
constexpr int kMaxPasses = 1000;
// The log is kept under this, by dropping its oldest lines.
constexpr size_t kLogLimitBytes = 64 * 1024;
constexpr size_t kLogKeptBytes = 32 * 1024;

// Text as it may go to a terminal and the log: every control character
// (a path or a reason may hold any) shown as "?".
std::string Shown(std::string_view text) {
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        shown += byte < 0x20 || byte == 0x7F ? '?' : c;
    }
    return shown;
}

// Adds a line to the spool's log, keeping it small; stored whole or not at
// all. The log is a help to whoever looks, never a reason to stop.
void AppendLog(const Spool& spool, const std::string& line) {
    std::string log;
    if (const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(OpenStoredFile(spool.LogPath()),
                                                                   std::fclose);
        file) {
        log.resize(kLogLimitBytes + 1);
        log.resize(std::fread(log.data(), 1, log.size(), file.get()));
    }
    if (log.size() + line.size() > kLogLimitBytes) {
        log.erase(0, log.size() - std::min(log.size(), kLogKeptBytes));
        const size_t first = log.find('\n');
        log.erase(0, first == std::string::npos ? log.size() : first + 1);
    }
    StoreFile(spool.LogPath(), log + line);
}

// Tells each problem on errors and in the log, one line each.
class Problems {
public:
    Problems(const Spool& spool, std::ostream& errors) : spool_(spool), errors_(errors) {}

    void operator()(const std::string& text) {
        const std::string line = "zul10-records forward: " + Shown(text);
        errors_ << line << "\n";
        AppendLog(spool_, LocalTimeOf(std::chrono::system_clock::now()).iso + " " + line + "\n");
        ++count_;
    }
    int count() const { return count_; }

private:
    const Spool& spool_;
    std::ostream& errors_;
    int count_ = 0;
};

// Delivers what is new in one day file, chunk by chunk. False when the
// destination did not take it (told): the destination is done with for
// this forward.
bool DeliverFile(const Spool& spool, const Spool::DayFile& file, Destination& destination,
                 Problems& problem, ForwardResult& result, bool& moved) {
    const std::string key = destination.Key();
    uint64_t from = spool.Delivered(file.path, key);
    for (;;) {
        Spool::Pending pending;
        std::string error;
        if (!spool.ReadPending(file, from, kChunkBytes, pending, error)) {
            problem(file.path + ": " + error);
            return false;
        }
        if (pending.end <= pending.start) return true;
        for (const uint64_t offset : pending.badLines) {
            problem(file.path + ": the line at byte " + std::to_string(offset) +
                    " is no run record; left out");
        }
        if (!pending.records.empty() && !destination.Deliver(pending.records, error)) {
            problem(std::to_string(pending.records.size()) + " run records of " + file.path +
                    " could not be delivered to " + destination.Name() + ": " + error +
                    "; they wait in the spool");
            return false;
        }
        for (const std::string& leftOut : destination.TakeLeftOut()) {
            problem(file.path + ": " + leftOut + "; left out");
        }
        // Only now: what the destination stored is on its disk.
        if (!spool.SetDelivered(file.path, key, pending.end)) {
            problem(file.path + ": what was delivered of it cannot be noted beside it");
            return false;
        }
        result.delivered += static_cast<int>(pending.records.size());
        moved = true;
        from = pending.end;
    }
}

}  // namespace

ForwardResult Forward(const Spool& spool, Destination& destination, std::ostream& errors) {
    Destination* const destinations[] = {&destination};
    return Forward(spool, destinations, errors);
}

ForwardResult Forward(const Spool& spool, std::span<Destination* const> destinations,
                      std::ostream& errors) {
    ForwardResult result;
    Problems problem(spool, errors);
    std::set<std::string> refusedTold;
    std::string error;
    if (!IsFolder(spool.folder(), error)) return result;  // nothing was ever spooled
    std::vector<std::string> keys;
    for (const Destination* destination : destinations) keys.push_back(destination->Key());
    // The destinations that could not be reached or refused in this forward:
    // their records wait, the others' go on.
    std::vector<bool> failed(destinations.size(), false);
    const auto anyFailed = [&] {
        return std::find(failed.begin(), failed.end(), true) != failed.end();
    };
    for (int round = 0; round < kMaxRounds; ++round) {
        RecordFile lock;
        const RecordFile::Opened opened =
            lock.Open(spool.LockPath(), RecordFile::Access::kAppend, 0, error);
        if (opened == RecordFile::Opened::kLockHeld) {
            result.lockHeld = round == 0;
            return result;
        }
        if (opened != RecordFile::Opened::kOpened) {
            problem(spool.LockPath() + ": " + error);
            result.exitCode = 1;
            return result;
        }
        for (int pass = 0; pass < kMaxPasses; ++pass) {
            bool moved = false;
            std::vector<std::string> refused;
            const std::vector<Spool::DayFile> files = spool.Files(refused);
            for (size_t d = 0; d < destinations.size(); ++d) {
                for (const Spool::DayFile& file : files) {
                    if (failed[d]) break;
                    failed[d] = !DeliverFile(spool, file, *destinations[d], problem, result, moved);
                }
            }
            for (const std::string& entry : refused) {
                if (refusedTold.insert(entry).second) problem(entry + "; left alone");
            }
            if (!moved || std::find(failed.begin(), failed.end(), false) == failed.end()) break;
        }
        // A day file goes only once every destination has it whole.
        if (!anyFailed()) {
            spool.RemoveDelivered(keys, std::filesystem::file_time_type::clock::now() -
                                            std::chrono::hours(24 * Spool::kKeepDays));
        }
        lock.Close();
        if (problem.count() > 0) result.exitCode = 1;
        // A record spooled during the last pass, whose own forward found the
        // lock held, is taken now by the destinations that took theirs.
        bool waiting = false;
        for (size_t d = 0; d < keys.size(); ++d) {
            waiting = waiting || (!failed[d] && spool.CountWaiting(keys[d], {}).bytes > 0);
        }
        if (!waiting) return result;
    }
    return result;
}

}  // namespace zul::records
