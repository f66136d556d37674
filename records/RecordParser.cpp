#include "records/RecordParser.h"

#include <simdjson.h>

#include <cmath>
#include <utility>

#include "adjust/SensorTables.h"
#include "records/RecordFormat.h"
#include "records/TextSafety.h"

namespace zul::records {

namespace od = simdjson::ondemand;
using simdjson::error_code;

namespace {

// How a value failed its check.
enum class Bad { None, Broken, WrongKind, OutOfRange };

// What a parser error means for the line: the JSON itself is broken, or a
// value is of the wrong kind or too large for any number.
Bad Classify(error_code error) {
    switch (error) {
        case error_code::SUCCESS:
            return Bad::None;
        case error_code::INCORRECT_TYPE:
            return Bad::WrongKind;
        case error_code::NUMBER_OUT_OF_RANGE:
            return Bad::OutOfRange;
        default:
            return Bad::Broken;
    }
}

// Whole days from 1970-01-01 to year-month-day (proleptic Gregorian).
constexpr int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}
constexpr int64_t kEpoch2000 = DaysFromCivil(2000, 1, 1) * 86400;

bool Digits(std::string_view text, size_t at, size_t count, int& value) {
    if (at + count > text.size()) return false;
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

// "2026-12-02T12:04:54.792+09:00" (the fraction and the offset optional,
// "Z" for UTC) into seconds since 2000-01-01 UTC; false when it is no such
// time.
bool StartSeconds(std::string_view text, int64_t& seconds) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!Digits(text, 0, 4, year) || text.size() < 19 || text[4] != '-' ||
        !Digits(text, 5, 2, month) || text[7] != '-' || !Digits(text, 8, 2, day) ||
        (text[10] != 'T' && text[10] != ' ') || !Digits(text, 11, 2, hour) || text[13] != ':' ||
        !Digits(text, 14, 2, minute) || text[16] != ':' || !Digits(text, 17, 2, second)) {
        return false;
    }
    constexpr int kMonthDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1 || day > kMonthDays[month - 1] || hour > 23 ||
        minute > 59 || second > 60) {
        return false;
    }
    size_t i = 19;
    if (i < text.size() && text[i] == '.') {
        const size_t first = ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        if (i == first || i - first > 9) return false;
    }
    int offset = 0;
    if (i < text.size()) {
        int oh = 0, om = 0;
        if (text[i] == 'Z' && i + 1 == text.size()) {
            offset = 0;
        } else if ((text[i] == '+' || text[i] == '-') && i + 6 == text.size() &&
                   Digits(text, i + 1, 2, oh) && text[i + 3] == ':' && Digits(text, i + 4, 2, om) &&
                   oh <= 23 && om <= 59) {
            offset = (text[i] == '-' ? -1 : 1) * (oh * 3600 + om * 60);
        } else {
            return false;
        }
    }
    seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second -
              offset - kEpoch2000;
    return true;
}

bool VerdictOf(std::string_view word, Verdict& verdict) {
    namespace w = record::verdict;
    if (word == w::kPass) {
        verdict = Verdict::Pass;
    } else if (word == w::kFail) {
        verdict = Verdict::Fail;
    } else if (word == w::kUnfinished) {
        verdict = Verdict::Unfinished;
    } else if (word == w::kNotJudged) {
        verdict = Verdict::NotJudged;
    } else {
        return false;
    }
    return true;
}

// The first kExtraValues column of (item, name), or -1.
int ExtraColumn(int item, std::string_view name, int& count) {
    int column = 0;
    for (const ExtraReading& extra : kExtraValues) {
        if (extra.item == item && extra.name == name) {
            count = extra.count;
            return column;
        }
        column += extra.count == 0 ? 1 : extra.count;
    }
    return -1;
}

// Whether item keeps judged values under the measured name (a first-format
// record's place of them).
bool CatalogueMeasured(int item, std::string_view name) {
    for (const JudgedValue& catalogued : JudgedValuesOf(item)) {
        if (catalogued.measured == name) return true;
    }
    return false;
}

// "-12345678901234567890": digits only, more than fit into 64 bits.
bool IsLongInteger(std::string_view token) {
    while (!token.empty() && (token.back() == ' ' || token.back() == '\t')) token.remove_suffix(1);
    if (!token.empty() && token[0] == '-') token.remove_prefix(1);
    if (token.size() < 19) return false;
    for (char c : token) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// Whether a line that is no object is still JSON (an array, a string, a
// number, true, false, null): another program's, not a broken one.
bool OtherJson(std::string_view line) {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.remove_suffix(1);
    if (line.empty()) return false;
    const char c = line.front();
    return c == '[' || c == '"' || c == '-' || (c >= '0' && c <= '9') || line == "true" ||
           line == "false" || line == "null";
}

size_t IndexOf(const JudgedValue* catalogued) {
    return static_cast<size_t>(catalogued - kJudgedValues.data());
}

}  // namespace

// Every string_view the parser gives (keys, strings) stays valid until it
// reads the next line.
struct RecordParser::Impl {
    od::parser parser{RecordParser::kMaxLine + RecordParser::kPadding};
    // The readings a first-format record keeps under "measured", judged
    // once the format is known.
    std::array<int16_t, kValueCount> measured{};
    std::string* why = nullptr;
    std::vector<std::string>* unknown = nullptr;
    RunRecord* run = nullptr;

    // Sets why for value, named field, and returns false.
    bool Fail(Bad bad, std::string_view field) {
        switch (bad) {
            case Bad::Broken:
            case Bad::None:
                *why = "torn or not JSON";
                break;
            case Bad::WrongKind:
                *why = "field \"" + std::string(field) + "\" of the wrong kind";
                break;
            case Bad::OutOfRange:
                *why = "field \"" + std::string(field) + "\" out of range";
                break;
        }
        return false;
    }

    // The type of value; false (why set) when the JSON there is broken.
    bool TypeOf(od::value& value, od::json_type& type) {
        return value.type().get(type) == error_code::SUCCESS || Fail(Bad::Broken, "");
    }

    // A text field: a string, or null for none.
    bool Text(od::value& value, std::string_view field, std::string& out) {
        od::json_type type;
        if (!TypeOf(value, type)) return false;
        if (type == od::json_type::null) {
            out.clear();
            return true;
        }
        if (type != od::json_type::string) return Fail(Bad::WrongKind, field);
        std::string_view text;
        if (const error_code e = value.get_string().get(text)) return Fail(Classify(e), field);
        out.assign(text);
        return true;
    }

    // A whole number within lo..hi; a number written with a fraction or an
    // exponent counts when its value is whole.
    bool Whole(od::value& value, std::string_view field, int64_t lo, int64_t hi, int64_t& out) {
        od::json_type type;
        if (!TypeOf(value, type)) return false;
        if (type != od::json_type::number) return Fail(Bad::WrongKind, field);
        od::number number;
        if (const error_code e = value.get_number().get(number)) {
            // A whole number of more digits than any 64-bit number holds.
            if (e == error_code::NUMBER_ERROR && IsLongInteger(value.raw_json_token())) {
                return Fail(Bad::OutOfRange, field);
            }
            return Fail(Classify(e), field);
        }
        if (number.is_int64()) {
            out = number.get_int64();
        } else if (number.is_uint64()) {
            return Fail(Bad::OutOfRange, field);
        } else {
            const double d = number.get_double();
            if (!(d >= static_cast<double>(lo) && d <= static_cast<double>(hi))) {
                return Fail(Bad::OutOfRange, field);
            }
            if (d != std::floor(d)) return Fail(Bad::WrongKind, field);
            out = static_cast<int64_t>(d);
        }
        return (out >= lo && out <= hi) || Fail(Bad::OutOfRange, field);
    }

    bool Byte(od::value& value, std::string_view field, int16_t& out) {
        int64_t n = 0;
        if (!Whole(value, field, 0, 255, n)) return false;
        out = static_cast<int16_t>(n);
        return true;
    }

    bool Word(od::value& value, std::string_view field, std::string_view& out) {
        od::json_type type;
        if (!TypeOf(value, type)) return false;
        if (type != od::json_type::string) return Fail(Bad::WrongKind, field);
        if (const error_code e = value.get_string().get(out)) return Fail(Classify(e), field);
        return true;
    }

    void Unknown(std::string_view prefix, std::string_view name) {
        if (unknown->size() < 16) {
            unknown->push_back(std::string(prefix) + std::string(CutText(name, 80)));
        }
    }

    // One entry of an item's "measured": a list of readings or one reading.
    bool Measured(int item, std::string_view name, od::value& value) {
        int extraCount = 0;
        const int extra = ExtraColumn(item, name, extraCount);
        const bool catalogue = CatalogueMeasured(item, name);
        if (extra < 0 && !catalogue) {
            Unknown("measured.", name);
            return true;
        }
        od::json_type type;
        if (!TypeOf(value, type)) return false;
        if (type == od::json_type::array) {
            od::array list;
            if (const error_code e = value.get_array().get(list)) {
                return Fail(Classify(e), "measured");
            }
            int index = 0;
            for (auto element : list) {
                od::value entry;
                if (const error_code e = std::move(element).get(entry))
                    return Fail(Classify(e), "measured");
                int16_t reading = 0;
                if (!Byte(entry, "measured", reading)) return false;
                if (catalogue) {
                    if (const JudgedValue* catalogued = FindMeasuredValue(item, name, index)) {
                        measured[IndexOf(catalogued)] = reading;
                    }
                } else if (index < extraCount) {
                    run->extras[static_cast<size_t>(extra + index)] = reading;
                }
                if (index < 1000) ++index;
            }
            return true;
        }
        int16_t reading = 0;
        if (!Byte(value, "measured", reading)) return false;
        if (catalogue) {
            if (const JudgedValue* catalogued = FindMeasuredValue(item, name, -1)) {
                measured[IndexOf(catalogued)] = reading;
            }
        } else if (extraCount == 0) {
            run->extras[static_cast<size_t>(extra)] = reading;
        }
        return true;
    }

    // One entry of an item's "values" (format 2).
    bool Value(int item, od::value& value) {
        od::object entry;
        if (const error_code e = value.get_object().get(entry)) return Fail(Classify(e), "values");
        std::string_view name, verdictWord;
        int64_t slot = -1;
        int16_t reading = -1, lower = -1, upper = -1;
        for (auto fieldResult : entry) {
            od::field field;
            if (const error_code e = std::move(fieldResult).get(field))
                return Fail(Classify(e), "values");
            std::string_view key;
            if (const error_code e = field.unescaped_key().get(key)) {
                return Fail(Classify(e), "values");
            }
            od::value v = field.value();
            bool ok = true;
            if (key == "name") {
                ok = Word(v, "values.name", name);
            } else if (key == "slot") {
                ok = Whole(v, "values.slot", 0, static_cast<int64_t>(kSlotCount) - 1, slot);
            } else if (key == "value") {
                ok = Byte(v, "values.value", reading);
            } else if (key == "lower") {
                ok = Byte(v, "values.lower", lower);
            } else if (key == "upper") {
                ok = Byte(v, "values.upper", upper);
            } else if (key == "verdict") {
                ok = Word(v, "values.verdict", verdictWord);
            } else if (key != "label") {
                Unknown("values.", key);
            }
            if (!ok) return false;
        }
        Verdict verdict = Verdict::None;
        if (name.empty() || reading < 0 || lower < 0 || upper < 0 ||
            !VerdictOf(verdictWord, verdict) || verdict == Verdict::Unfinished) {
            *why = "a judged value without its name, value, limits or verdict";
            return false;
        }
        const JudgedValue* catalogued = FindJudgedValue(item, name, static_cast<int>(slot));
        if (catalogued == nullptr) {
            Unknown("values." + std::to_string(item) + ".", name);
            return true;
        }
        const size_t i = IndexOf(catalogued);
        run->readings[i] = reading;
        run->verdicts[i] = verdict;
        run->lower[i] = static_cast<uint8_t>(lower);
        run->upper[i] = static_cast<uint8_t>(upper);
        return true;
    }

    bool Item(od::value& value) {
        od::object item;
        if (const error_code e = value.get_object().get(item)) return Fail(Classify(e), "items");
        // The number comes first in every record the program writes; a
        // reading met before it cannot be placed.
        int number = 0;
        for (auto fieldResult : item) {
            od::field field;
            if (const error_code e = std::move(fieldResult).get(field))
                return Fail(Classify(e), "items");
            std::string_view key;
            if (const error_code e = field.unescaped_key().get(key)) {
                return Fail(Classify(e), "items");
            }
            od::value v = field.value();
            if (key == "item") {
                int64_t n = 0;
                if (!Whole(v, "item", 1, 7, n)) return false;
                number = static_cast<int>(n);
                continue;
            }
            if (key == "title") continue;
            if (number == 0) {
                *why = "an item's fields before its number";
                return false;
            }
            const size_t at = static_cast<size_t>(number - 1);
            if (key == "verdict") {
                std::string_view word;
                Verdict verdict = Verdict::None;
                if (!Word(v, "verdict", word)) return false;
                if (!VerdictOf(word, verdict) || verdict == Verdict::NotJudged) {
                    return Fail(Bad::OutOfRange, "verdict");
                }
                run->items[at] = verdict;
            } else if (key == "measured") {
                od::object measuredObject;
                if (const error_code e = v.get_object().get(measuredObject)) {
                    return Fail(Classify(e), "measured");
                }
                for (auto entryResult : measuredObject) {
                    od::field entry;
                    if (const error_code e = std::move(entryResult).get(entry)) {
                        return Fail(Classify(e), "measured");
                    }
                    std::string_view name;
                    if (const error_code e = entry.unescaped_key().get(name)) {
                        return Fail(Classify(e), "measured");
                    }
                    od::value reading = entry.value();
                    if (!Measured(number, name, reading)) return false;
                }
            } else if (key == "values") {
                od::array list;
                if (const error_code e = v.get_array().get(list)) {
                    return Fail(Classify(e), "values");
                }
                for (auto element : list) {
                    od::value entry;
                    if (const error_code e = std::move(element).get(entry))
                        return Fail(Classify(e), "values");
                    if (!Value(number, entry)) return false;
                }
            } else if (key == "eeprom_written") {
                bool written = false;
                if (const error_code e = v.get_bool().get(written)) {
                    return Fail(Classify(e), "eeprom_written");
                }
                run->eepromWritten[at] = written ? 1 : 0;
            } else if (key != "report") {
                Unknown("items.", key);
            }
        }
        if (number == 0) {
            *why = "an item without its number";
            return false;
        }
        return true;
    }
};

RecordParser::RecordParser() : impl_(std::make_unique<Impl>()) {}
RecordParser::~RecordParser() = default;

bool RecordParser::Parse(std::string_view line, RunRecord& run) {
    padded_.assign(line);
    padded_.append(kPadding, '\0');
    return ParseInPlace(padded_.data(), line.size(), padded_.size(), run);
}

bool RecordParser::ParseInPlace(const char* data, std::size_t size, std::size_t capacity,
                                RunRecord& run) {
    why_.clear();
    unknown_.clear();
    run.Clear();
    Impl& p = *impl_;
    p.why = &why_;
    p.unknown = &unknown_;
    p.run = &run;
    p.measured.fill(-1);
    if (size > kMaxLine) {
        why_ = "longer than 1 MiB";
        return false;
    }

    od::document doc;
    if (p.parser.iterate(data, size, capacity).get(doc) != error_code::SUCCESS) {
        return p.Fail(Bad::Broken, "");
    }
    od::object object;
    if (const error_code e = doc.get_object().get(object)) {
        if (Classify(e) == Bad::WrongKind && OtherJson(std::string_view(data, size))) {
            why_ = "not a ZUL10 record";
            return false;
        }
        return p.Fail(Bad::Broken, "");
    }
    bool program = false, haveStart = false, haveOutcome = false;
    std::string_view word;
    for (auto fieldResult : object) {
        od::field field;
        if (const error_code e = std::move(fieldResult).get(field)) return p.Fail(Classify(e), "");
        std::string_view key;
        if (const error_code e = field.unescaped_key().get(key)) return p.Fail(Classify(e), "");
        od::value v = field.value();
        bool ok = true;
        int64_t n = 0;
        if (key == "format") {
            ok = p.Whole(v, "format", INT64_MIN / 2, INT64_MAX / 2, n);
            if (ok && n > record::kFormat) {
                why_ = "written by a newer version (format " + std::to_string(n) + ")";
                return false;
            }
            if (ok && n < 1) return p.Fail(Bad::OutOfRange, "format");
            run.format = static_cast<int>(n);
        } else if (key == "program") {
            od::json_type type;
            if (!p.TypeOf(v, type)) return false;
            if (type != od::json_type::string || v.get_string().get(word) ||
                word != record::kProgram) {
                why_ = "not a ZUL10 record";
                return false;
            }
            program = true;
        } else if (key == "version") {
            ok = p.Text(v, key, run.version);
        } else if (key == "run_id") {
            ok = p.Text(v, key, run.runId);
        } else if (key == "station") {
            ok = p.Text(v, key, run.station);
        } else if (key == "unit") {
            ok = p.Text(v, key, run.unit);
        } else if (key == "limits") {
            ok = p.Text(v, key, run.limits);
        } else if (key == "host") {
            ok = p.Text(v, key, run.host);
        } else if (key == "user") {
            ok = p.Text(v, key, run.user);
        } else if (key == "port") {
            ok = p.Text(v, key, run.port);
        } else if (key == "device") {
            ok = p.Text(v, key, run.device);
        } else if (key == "line") {
            ok = p.Text(v, key, run.line);
        } else if (key == "start") {
            ok = p.Text(v, key, run.start);
            haveStart = true;
        } else if (key == "end") {
            ok = p.Text(v, key, run.end);
        } else if (key == "cause") {
            ok = p.Text(v, key, run.cause);
        } else if (key == "outcome") {
            ok = p.Word(v, "outcome", word);
            if (ok && !OutcomeOf(word, run.outcome)) return p.Fail(Bad::OutOfRange, "outcome");
            haveOutcome = ok;
        } else if (key == "failed_item") {
            od::json_type type;
            if (!p.TypeOf(v, type)) return false;
            if (type != od::json_type::null) {
                ok = p.Whole(v, "failed_item", 0, 7, n);
                run.failedItem = static_cast<int>(n);
            }
        } else if (key == "seconds") {
            double seconds = 0;
            od::json_type type;
            if (!p.TypeOf(v, type)) return false;
            if (type != od::json_type::number) return p.Fail(Bad::WrongKind, "seconds");
            if (const error_code e = v.get_double().get(seconds)) {
                return p.Fail(Classify(e), "seconds");
            }
            // Up to a year: a run is minutes long.
            if (!(seconds >= 0 && seconds <= 366.0 * 86400)) {
                return p.Fail(Bad::OutOfRange, "seconds");
            }
            run.seconds = seconds;
        } else if (key == "exchanges") {
            ok = p.Whole(v, "exchanges", 0, int64_t{1} << 53, run.exchanges);
        } else if (key == "retries") {
            ok = p.Whole(v, "retries", 0, int64_t{1} << 53, run.retries);
        } else if (key == "items") {
            od::array items;
            if (const error_code e = v.get_array().get(items)) return p.Fail(Classify(e), "items");
            for (auto element : items) {
                od::value item;
                if (const error_code e = std::move(element).get(item))
                    return p.Fail(Classify(e), "items");
                if (!p.Item(item)) return false;
            }
        } else {
            p.Unknown("", key);
        }
        if (!ok) return false;
    }
    // Anything behind the object: the document has a place left to read.
    const char* behind = nullptr;
    if (doc.current_location().get(behind) == error_code::SUCCESS) return p.Fail(Bad::Broken, "");
    if (!program || run.format == 0) {
        why_ = "not a ZUL10 record";
        return false;
    }
    if (!haveStart || run.start.empty()) {
        why_ = "no start time";
        return false;
    }
    if (!StartSeconds(run.start, run.startSeconds)) {
        why_ = "field \"start\" is no time";
        return false;
    }
    if (!haveOutcome) {
        why_ = "no outcome";
        return false;
    }
    if (run.format == 1) {
        // No limits in the record: judged here against the catalogue.
        for (size_t i = 0; i < kValueCount; ++i) {
            if (p.measured[i] < 0) continue;
            const JudgedValue& catalogued = kJudgedValues[i];
            const auto reading = static_cast<uint8_t>(p.measured[i]);
            run.readings[i] = p.measured[i];
            run.lower[i] = catalogued.lower;
            run.upper[i] = catalogued.upper;
            run.verdicts[i] = !catalogued.judged ? Verdict::NotJudged
                              : WithinLimits(reading, catalogued.lower, catalogued.upper)
                                  ? Verdict::Pass
                                  : Verdict::Fail;
        }
    }
    return true;
}

}  // namespace zul::records
