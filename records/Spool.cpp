#include "records/Spool.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <system_error>

#include "records/FolderName.h"
#include "records/HostFacts.h"
#include "records/RecordFile.h"
#include "records/StationConfig.h"
#include "serial/FileStore.h"
#include "serial/Utf8.h"

namespace zul::records {

namespace fs = std::filesystem;
using Json = nlohmann::json;

namespace {

constexpr const char* kPrefix = "zul10-";
constexpr const char* kSuffix = ".jsonl";
constexpr const char* kBookkeepingSuffix = ".delivered";
// How long the append waits for the day file's lock: only another copy of
// the program or the clean-up of zul10-records forward on this PC holds it,
// each for a few system calls.
constexpr int kAppendLockWaitMs = 2000;
// The bookkeeping of one day file is a line per destination.
constexpr size_t kMaxBookkeepingBytes = 64 * 1024;
// A record line longer than this is no record the program wrote.
constexpr size_t kMaxLineBytes = 1024 * 1024;
// How much CountWaiting reads at a time.
constexpr size_t kCountChunkBytes = 4 * 1024 * 1024;

// "YYYY-MM-DD" with digits where the digits go.
bool IsDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    for (size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u}) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

// The date of a day file's name, "zul10-YYYY-MM-DD.jsonl"; empty for any
// other name.
std::string DateOfName(std::string_view name) {
    const std::string_view prefix = kPrefix, suffix = kSuffix;
    if (name.size() != prefix.size() + 10 + suffix.size() ||
        name.substr(0, prefix.size()) != prefix || name.substr(prefix.size() + 10) != suffix) {
        return {};
    }
    const std::string_view date = name.substr(prefix.size(), 10);
    return IsDate(date) ? std::string(date) : std::string();
}

int Digits(std::string_view text, size_t at, size_t count) {
    int value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (i >= text.size() || text[i] < '0' || text[i] > '9') return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// The moment of a record's time stamp, "2026-12-08T14:03:27.512+09:00";
// the epoch when it is not one.
std::chrono::system_clock::time_point MomentOf(std::string_view iso) {
    using namespace std::chrono;
    if (iso.size() != 29 || iso[10] != 'T' || (iso[23] != '+' && iso[23] != '-')) return {};
    const int y = Digits(iso, 0, 4), mo = Digits(iso, 5, 2), d = Digits(iso, 8, 2);
    const int h = Digits(iso, 11, 2), mi = Digits(iso, 14, 2), s = Digits(iso, 17, 2);
    const int ms = Digits(iso, 20, 3), oh = Digits(iso, 24, 2), om = Digits(iso, 27, 2);
    if (std::min({y, mo, d, h, mi, s, ms, oh, om}) < 0) return {};
    const year_month_day day{year(y), month(static_cast<unsigned>(mo)),
                             std::chrono::day(static_cast<unsigned>(d))};
    if (!day.ok()) return {};
    const minutes offset = (iso[23] == '-' ? -1 : 1) * (hours(oh) + minutes(om));
    return time_point_cast<system_clock::duration>(sys_days(day) + hours(h) + minutes(mi) +
                                                   seconds(s) + milliseconds(ms) - offset);
}

// The record of a spool line; false for a line that is no record with a run id.
bool ParseRecord(std::string_view line, const std::string& date, SpooledRecord& record) {
    const Json json = Json::parse(line, nullptr, false);
    if (!json.is_object()) return false;
    const auto runId = json.find("run_id");
    if (runId == json.end() || !runId->is_string() || runId->get_ref<const std::string&>().empty())
        return false;
    record.runId = runId->get<std::string>();
    const auto station = json.find("station");
    record.station = station != json.end() && station->is_string() &&
                             !station->get_ref<const std::string&>().empty()
                         ? station->get<std::string>()
                         : HostName();
    record.date = date;
    record.line = std::string(line);
    const auto end = json.find("end");
    record.ended = end != json.end() && end->is_string() ? MomentOf(end->get<std::string>())
                                                         : std::chrono::system_clock::time_point{};
    return true;
}

// A destination's key on one line of the bookkeeping: "%", CR and LF
// written as %XX.
std::string KeyText(const std::string& key) {
    std::string text;
    for (const char c : key) {
        if (c == '%' || c == '\n' || c == '\r') {
            char code[4];
            std::snprintf(code, sizeof code, "%%%02X", static_cast<unsigned char>(c));
            text += code;
        } else {
            text += c;
        }
    }
    return text;
}

// The bookkeeping's lines, "OFFSET KEY", of the file at path.
std::vector<std::pair<uint64_t, std::string>> ReadBookkeeping(const std::string& path) {
    std::vector<std::pair<uint64_t, std::string>> entries;
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(OpenStoredFile(path), std::fclose);
    if (!file) return entries;
    std::string text(kMaxBookkeepingBytes, '\0');
    text.resize(std::fread(text.data(), 1, text.size(), file.get()));
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        const size_t blank = line.find(' ');
        if (line.empty() || line[0] == '#' || blank == std::string::npos || blank == 0) continue;
        uint64_t offset = 0;
        bool digits = true;
        for (size_t i = 0; i < blank; ++i) {
            digits = digits && line[i] >= '0' && line[i] <= '9';
            offset = offset * 10 + static_cast<uint64_t>(line[i] - '0');
        }
        if (digits) entries.emplace_back(offset, line.substr(blank + 1));
    }
    return entries;
}

}  // namespace

Spool::Spool(std::string folder, DiskSync& sync) : folder_(std::move(folder)), sync_(sync) {}

std::string Spool::DefaultFolder() {
#ifdef _WIN32
    const auto local = EnvironmentVariable("LOCALAPPDATA");
    return local ? *local + "\\ZUL10\\records" : std::string();
#else
    if (const auto state = EnvironmentVariable("XDG_STATE_HOME"); state && state->front() == '/')
        return *state + "/zul10/records";
    const auto home = EnvironmentVariable("HOME");
    return home ? *home + "/.local/state/zul10/records" : std::string();
#endif
}

std::string Spool::FileOf(const std::string& date) const {
    return JoinPath(folder_, kPrefix + date + kSuffix);
}

std::string Spool::LockPath() const {
    return JoinPath(folder_, "forward.lock");
}

std::string Spool::LogPath() const {
    return JoinPath(folder_, "forward.log");
}

std::string Spool::BookkeepingOf(const std::string& file) const {
    return file + kBookkeepingSuffix;
}

bool Spool::CheckFolder(const std::string& date, std::string& error) const {
    std::string unused;
    MakeFolders(folder_, unused);  // what stands in the way is told below
    if (!CheckFolderWritable(folder_, error)) return false;
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(PathFromUtf8(FileOf(date)), ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
        RecordFile probe(sync_);  // says what stands there; opens nothing but a file
        probe.Open(FileOf(date), RecordFile::Access::kRead, 0, error);
        error = FileOf(date) + " is " + error;
        return false;
    }
    return true;
}

bool Spool::Append(const std::string& date, std::string_view record, std::string& error,
                   bool syncFolder) const {
    std::string unused;
    MakeFolders(folder_, unused);  // the open tells what stands in the way
    RecordFile file(sync_);
    if (file.Open(FileOf(date), RecordFile::Access::kAppend, kAppendLockWaitMs, error) !=
        RecordFile::Opened::kOpened) {
        return false;
    }
    if (syncFolder) file.SyncFolderToo();
    return file.Append(record, error);
}

std::vector<Spool::DayFile> Spool::Files(std::vector<std::string>& refused) const {
    std::vector<DayFile> files;
    std::vector<FolderEntry> entries;
    std::string unreadable;
    ListFolder(folder_, entries, unreadable);  // a spool not made yet holds nothing
    for (const FolderEntry& entry : entries) {
        const std::string date = DateOfName(entry.name);
        if (date.empty()) continue;
        const std::string path = JoinPath(folder_, entry.name);
        if (!entry.file) {
            RecordFile probe(sync_);
            std::string why;
            probe.Open(path, RecordFile::Access::kRead, 0, why);
            refused.push_back(path + ": " + why);
            continue;
        }
        files.push_back({path, date});
    }
    std::sort(files.begin(), files.end(),
              [](const DayFile& a, const DayFile& b) { return a.date < b.date; });
    return files;
}

bool Spool::ReadPending(const DayFile& file, uint64_t from, size_t maxBytes, Pending& pending,
                        std::string& error) const {
    pending = Pending{};
    RecordFile in(sync_);
    const RecordFile::Opened opened = in.Open(file.path, RecordFile::Access::kRead, 0, error);
    if (opened == RecordFile::Opened::kMissing) {
        pending.start = pending.end = from;
        return true;
    }
    if (opened != RecordFile::Opened::kOpened) return false;
    // A file shorter than what was delivered of it was made anew: read from
    // its start again (the destination leaves out the runs it has).
    const int64_t size = in.Size();
    if (size >= 0 && static_cast<uint64_t>(size) < from) from = 0;
    pending.start = pending.end = from;
    std::string bytes;
    if (!in.ReadAt(from, maxBytes, bytes, error)) return false;
    size_t whole = bytes.rfind('\n');
    if (whole == std::string::npos) {
        // No newline in a full read: a line longer than any record, passed
        // over to its end.
        if (bytes.size() < maxBytes) return true;
        uint64_t at = from + bytes.size();
        for (;;) {
            if (!in.ReadAt(at, maxBytes, bytes, error)) return false;
            if (bytes.empty()) return true;  // no end yet
            const size_t newline = bytes.find('\n');
            if (newline != std::string::npos) {
                pending.badLines.push_back(from);
                pending.end = at + newline + 1;
                return true;
            }
            at += bytes.size();
        }
    }
    pending.end = from + whole + 1;
    for (size_t at = 0; at <= whole;) {
        const size_t end = bytes.find('\n', at);
        std::string_view line(bytes.data() + at, end - at);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const uint64_t offset = from + at;
        at = end + 1;
        if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
        SpooledRecord record;
        if (line.size() <= kMaxLineBytes && ParseRecord(line, file.date, record)) {
            pending.records.push_back(std::move(record));
        } else {
            pending.badLines.push_back(offset);
        }
    }
    return true;
}

uint64_t Spool::Delivered(const std::string& file, const std::string& destination) const {
    const std::string key = KeyText(destination);
    for (const auto& [offset, entry] : ReadBookkeeping(BookkeepingOf(file))) {
        if (entry == key) return offset;
    }
    return 0;
}

bool Spool::SetDelivered(const std::string& file, const std::string& destination,
                         uint64_t offset) const {
    const std::string key = KeyText(destination);
    std::string text = "# bytes of " + Utf8OfPath(PathFromUtf8(file).filename()) +
                       " delivered, per destination\n" + std::to_string(offset) + " " + key + "\n";
    for (const auto& [other, entry] : ReadBookkeeping(BookkeepingOf(file))) {
        if (entry != key) text += std::to_string(other) + " " + entry + "\n";
    }
    return StoreFile(BookkeepingOf(file), text);
}

Spool::Waiting Spool::CountWaiting(const std::string& destination,
                                   std::chrono::system_clock::time_point before) const {
    Waiting waiting;
    std::vector<std::string> refused;
    for (const DayFile& file : Files(refused)) {
        uint64_t from = Delivered(file.path, destination);
        for (;;) {
            Pending pending;
            std::string error;
            if (!ReadPending(file, from, kCountChunkBytes, pending, error) ||
                pending.end <= pending.start) {
                break;
            }
            waiting.bytes += pending.end - pending.start;
            for (const SpooledRecord& record : pending.records) {
                ++waiting.records;
                if (record.ended.time_since_epoch().count() != 0 && record.ended < before)
                    ++waiting.endedBefore;
            }
            from = pending.end;
        }
    }
    return waiting;
}

int Spool::RemoveDelivered(const std::vector<std::string>& destinations,
                           fs::file_time_type before) const {
    int removed = 0;
    std::vector<std::string> refused;
    const std::string today = LocalTimeOf(std::chrono::system_clock::now()).date;
    for (const DayFile& file : Files(refused)) {
        std::error_code ec;
        const fs::file_time_type written = fs::last_write_time(PathFromUtf8(file.path), ec);
        if (ec || written >= before || file.date == today) continue;
        // Under the file's lock, so that an append waiting for it goes to a
        // new file.
        RecordFile day(sync_);
        std::string error;
        if (destinations.empty() || day.Open(file.path, RecordFile::Access::kAppend, 0, error) !=
                                        RecordFile::Opened::kOpened) {
            continue;
        }
        bool whole = true;
        for (const std::string& destination : destinations) {
            const uint64_t delivered = Delivered(file.path, destination);
            whole = whole && delivered != 0 && day.Size() == static_cast<int64_t>(delivered);
        }
        if (!whole) continue;
        // The bookkeeping first: cut off between the two, the day file is
        // delivered again from its start, and the destination leaves out
        // what it has; the other way round, a later file of that name would
        // be taken as delivered up to the old offset.
        if (!fs::remove(PathFromUtf8(BookkeepingOf(file.path)), ec) || !day.Remove(error)) continue;
        ++removed;
    }
    return removed;
}

}  // namespace zul::records
