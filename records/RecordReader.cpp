#include "records/RecordReader.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <system_error>

#include "records/FolderName.h"
#include "records/HashSet64.h"
#include "records/RecordFile.h"
#include "records/RecordParser.h"
#include "records/TextSafety.h"

namespace zul::records {

namespace {

constexpr std::string_view kPrefix = "zul10-";
constexpr std::string_view kSuffix = ".jsonl";
// Bytes read at a time; the buffer holds the longest line and one chunk.
constexpr std::size_t kChunk = 256 * 1024;
constexpr std::size_t kBuffer = RecordParser::kMaxLine + kChunk + RecordParser::kPadding;

}  // namespace

bool IsDate(std::string_view text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
    for (size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u}) {
        if (text[i] < '0' || text[i] > '9') return false;
    }
    return true;
}

bool IsRecordFileName(std::string_view name) {
    return name.size() > kPrefix.size() + kSuffix.size() && name.starts_with(kPrefix) &&
           name.ends_with(kSuffix);
}

bool IsDatabaseUri(std::string_view source) {
    return source.starts_with("postgresql://") || source.starts_with("postgres://");
}

std::string_view NameDate(std::string_view name) {
    if (!IsRecordFileName(name) || name.size() < kPrefix.size() + 10 + kSuffix.size()) return {};
    const std::string_view date = name.substr(kPrefix.size(), 10);
    const size_t after = kPrefix.size() + 10;
    if (!IsDate(date) || (name[after] != '-' && name.size() != after + kSuffix.size())) return {};
    return date;
}

struct RecordReader::State {
    RecordParser parser;
    RunRecord run;
    std::unique_ptr<char[]> buffer{new char[kBuffer]()};
    // The run ids of the day whose files are being read.
    HashSet64 runIds{kMaxRunIdsADay};
    std::string idDay;
    bool idsFullNamed = false;
    // The file being read: its name, line number, what was named of it.
    std::string name;
    int64_t lineNumber = 0;
    int namedBad = 0;
    int64_t unnamedBad = 0;
    std::set<std::string> unknownNamed;
};

RecordReader::RecordReader(std::ostream& errors)
    : errors_(errors), state_(std::make_unique<State>()) {}
RecordReader::~RecordReader() = default;

void RecordReader::Name(const std::string& message) {
    errors_ << CleanText(message) << '\n';
}

bool RecordReader::ReadFolder(const std::string& folder, const DateRange& range, const Sink& sink) {
    std::vector<FolderEntry> entries;
    std::string unreadable;
    if (!ListFolder(folder, entries, unreadable)) {
        Name("zul10-records: cannot read " + folder + ": " + unreadable);
        return false;
    }
    std::vector<std::pair<std::string, std::string>> files;
    for (FolderEntry& entry : entries) {
        if (!IsRecordFileName(entry.name)) continue;
        if (range.bounded()) {
            // Out of range: never looked at, whatever the entry is.
            const std::string_view date = NameDate(entry.name);
            if (date.empty() || !range.Holds(date)) continue;
        }
        std::string path = JoinPath(folder, entry.name);
        files.emplace_back(std::move(entry.name), std::move(path));
    }
    std::sort(files.begin(), files.end());
    for (const auto& [name, path] : files) {
        // Second deliveries of a run go into a file of its own start date:
        // the run ids of one day are enough to find them.
        const std::string day(NameDate(name));
        if (day.empty() || day != state_->idDay) {
            state_->runIds.Clear();
            state_->idDay = day;
            state_->idsFullNamed = false;
        }
        RecordFile file;
        std::string why;
        switch (file.Open(path, RecordFile::Access::kRead, 0, why)) {
            case RecordFile::Opened::kOpened:
                break;
            case RecordFile::Opened::kNotAFile:
                ++tally_.skippedEntries;
                Name(name + ": " + why + ": skipped");
                continue;
            default:
                tally_.readError = true;
                Name(name + ": cannot be opened (" + why + ")");
                continue;
        }
        uint64_t offset = 0;
        ++tally_.files;
        State& s = *state_;
        s.name = name;
        s.lineNumber = 1;
        s.namedBad = 0;
        s.unnamedBad = 0;
        s.unknownNamed.clear();

        char* buffer = s.buffer.get();
        size_t begin = 0, end = 0, scan = 0;
        bool skipping = false;  // inside a line over the limit
        for (;;) {
            if (const void* found = std::memchr(buffer + scan, '\n', end - scan)) {
                const size_t newline =
                    static_cast<size_t>(static_cast<const char*>(found) - buffer);
                if (!skipping) Line(buffer + begin, newline - begin, kBuffer - begin, range, sink);
                skipping = false;
                ++s.lineNumber;
                begin = scan = newline + 1;
                continue;
            }
            if (!skipping && end - begin > RecordParser::kMaxLine) {
                ++tally_.badLines;
                ++tally_.longLines;
                Name(name + ":" + std::to_string(s.lineNumber) + ": longer than 1 MiB, skipped");
                skipping = true;
            }
            if (skipping) {
                begin = end = scan = 0;
            } else if (begin > 0) {
                std::memmove(buffer, buffer + begin, end - begin);
                end -= begin;
                scan = end;
                begin = 0;
            } else {
                scan = end;
            }
            const int64_t n = file.ReadSome(offset, buffer + end, kChunk, why);
            if (n > 0) offset += static_cast<uint64_t>(n);
            if (n < 0) {
                tally_.readError = true;
                Name(name + ":" + std::to_string(s.lineNumber) + ": read error (" + why +
                     "), the rest of the file not read");
                break;
            }
            if (n == 0) {
                // A last line without its line end: cut off by a crash, or
                // still being written.
                if (!skipping && end > begin)
                    Line(buffer + begin, end - begin, kBuffer - begin, range, sink);
                break;
            }
            end += static_cast<size_t>(n);
        }
        if (s.unnamedBad > 0) {
            Name(name + ": " + std::to_string(s.unnamedBad) + " more bad lines, not named");
        }
    }
    return true;
}

void RecordReader::Line(const char* data, std::size_t size, std::size_t capacity,
                        const DateRange& range, const Sink& sink) {
    State& s = *state_;
    if (size > 0 && data[size - 1] == '\r') --size;
    bool blank = true;
    for (size_t i = 0; i < size && blank; ++i) blank = data[i] == ' ' || data[i] == '\t';
    if (blank) return;
    const auto where = [&] { return s.name + ":" + std::to_string(s.lineNumber) + ": "; };
    if (!s.parser.ParseInPlace(data, size, capacity, s.run)) {
        ++tally_.badLines;
        if (s.namedBad < kNamedBadLines) {
            ++s.namedBad;
            Name(where() + s.parser.why() + ", skipped");
        } else {
            ++s.unnamedBad;
        }
        return;
    }
    for (const std::string& field : s.parser.unknown()) {
        if (s.unknownNamed.size() < 32 && s.unknownNamed.insert(field).second) {
            Name(where() + "unknown field \"" + field + "\" ignored");
        }
    }
    if (!range.Holds(s.run.date())) {
        ++tally_.outOfRange;
        return;
    }
    if (!s.run.runId.empty()) {
        switch (s.runIds.Add(Hash64(s.run.runId))) {
            case HashSet64::Added::Present:
                ++tally_.duplicates;
                return;
            case HashSet64::Added::Full:
                if (!s.idsFullNamed) {
                    s.idsFullNamed = true;
                    Name(where() + "more than " + std::to_string(kMaxRunIdsADay) +
                         " runs in a day: the rest are not checked for second deliveries");
                }
                break;
            case HashSet64::Added::New:
                break;
        }
    }
    ++tally_.records;
    sink(s.run);
}

}  // namespace zul::records
