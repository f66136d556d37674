#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "adjust/JudgedValues.h"

namespace zul::records {

// How a run ended, from its "outcome" word (records/RecordFormat.h).
enum class Outcome : uint8_t { Complete, Failed, CommunicationError, Cancelled, Closed };
// The outcome word of outcome.
std::string_view OutcomeWord(Outcome outcome);
// The outcome of an outcome word; false for any other text.
bool OutcomeOf(std::string_view word, Outcome& outcome);

// An item's or a value's verdict; None where the record has none.
enum class Verdict : uint8_t { None, Pass, Fail, Unfinished, NotJudged };
// The verdict word of verdict ("" for None).
std::string_view VerdictWord(Verdict verdict);

// The measured readings the report keeps beside the judged values: the
// register bytes and decoded register values of items 3 and 5, the held mag
// peak. count is the number of entries of a list, or 0 for a single number.
struct ExtraReading {
    int item;
    std::string_view name;
    int count;
};
inline constexpr std::array<ExtraReading, 5> kExtraValues{{
    {3, "registers", 8},
    {3, "reg", 14},
    {5, "registers", 4},
    {5, "reg", 8},
    {6, "peak_held", 0},
}};
// The column of each list entry (or single number) of kExtraValues, in
// order: 8 + 14 + 4 + 8 + 1.
inline constexpr std::size_t kExtraColumns = 35;
static_assert([] {
    std::size_t n = 0;
    for (const ExtraReading& extra : kExtraValues) n += extra.count == 0 ? 1 : extra.count;
    return n;
}() == kExtraColumns);

inline constexpr std::size_t kValueCount = kJudgedValues.size();

// One run as the report uses it, read from one line of a record file and
// checked: every number in range, every word one the program writes. Text
// fields hold what the record says (valid UTF-8, unescaped, not yet made
// safe for any output).
struct RunRecord {
    int format = 0;  // 1 or 2
    std::string runId, station, unit, limits;
    std::string host, user, version, port, device, line;
    std::string start;  // local ISO 8601 with its offset
    std::string end;
    std::string cause;  // the banner line or "Communication error", as written
    std::string_view date() const { return std::string_view(start).substr(0, 10); }
    // The start as seconds since 2000-01-01 00:00 UTC (for the order of a
    // unit's runs; a start without offset is taken as UTC).
    int64_t startSeconds = 0;
    Outcome outcome = Outcome::Complete;
    int failedItem = 0;  // 1 to 7, 0 when the record names none
    double seconds = 0;
    int64_t exchanges = 0;
    int64_t retries = 0;
    std::array<Verdict, 7> items{};  // the verdict of items 1 to 7, None where not reached
    // Per catalogue entry (kJudgedValues' order): the reading, or -1; its
    // verdict and limits, as the record gives them (format 2) or as the
    // report judged it against the catalogue (format 1).
    std::array<int16_t, kValueCount> readings{};
    std::array<Verdict, kValueCount> verdicts{};
    std::array<uint8_t, kValueCount> lower{};
    std::array<uint8_t, kValueCount> upper{};
    // Per kExtraValues column: the reading, or -1.
    std::array<int16_t, kExtraColumns> extras{};
    // Items 3 to 7: 1 written, 0 not, -1 not told.
    std::array<int8_t, 7> eepromWritten{};

    // Format 1 records carry no limits: the report judged them.
    bool judgedByReport() const { return format == 1; }
    bool complete() const { return outcome == Outcome::Complete; }
    // Empties every field, keeping the strings' storage.
    void Clear();
};

// The name of a catalogue value in every output: item.name.slot, or
// item.name for a value without a slot ("3.da.0", "7.speed").
std::string ValueKey(const JudgedValue& catalogued);
// The name of column i of kExtraValues: "3.registers.0", "6.peak_held".
std::string ExtraKey(std::size_t column);

// The title of item 1 to 7 as the window's item labels show it ("White
// level adjustment"); "" for any other number.
std::string_view ItemTitle(int item);

// A banner without its frame: "Cannot erase EEPROM !".
std::string_view CauseText(std::string_view banner);

}  // namespace zul::records
