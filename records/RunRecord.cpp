#include "records/RunRecord.h"

#include "records/RecordFormat.h"

namespace zul::records {

bool OutcomeOf(std::string_view word, Outcome& outcome) {
    namespace w = record::outcome;
    if (word == w::kComplete) {
        outcome = Outcome::Complete;
    } else if (word == w::kFailed) {
        outcome = Outcome::Failed;
    } else if (word == w::kCommunicationError) {
        outcome = Outcome::CommunicationError;
    } else if (word == w::kCancelled) {
        outcome = Outcome::Cancelled;
    } else if (word == w::kClosed) {
        outcome = Outcome::Closed;
    } else {
        return false;
    }
    return true;
}

std::string_view OutcomeWord(Outcome outcome) {
    namespace w = record::outcome;
    switch (outcome) {
        case Outcome::Complete:
            return w::kComplete;
        case Outcome::Failed:
            return w::kFailed;
        case Outcome::CommunicationError:
            return w::kCommunicationError;
        case Outcome::Cancelled:
            return w::kCancelled;
        case Outcome::Closed:
            return w::kClosed;
    }
    return "";
}

std::string_view VerdictWord(Verdict verdict) {
    namespace w = record::verdict;
    switch (verdict) {
        case Verdict::None:
            return "";
        case Verdict::Pass:
            return w::kPass;
        case Verdict::Fail:
            return w::kFail;
        case Verdict::Unfinished:
            return w::kUnfinished;
        case Verdict::NotJudged:
            return w::kNotJudged;
    }
    return "";
}

void RunRecord::Clear() {
    format = 0;
    for (std::string* text : {&runId, &station, &unit, &limits, &host, &user, &version, &port,
                              &device, &line, &start, &end, &cause}) {
        text->clear();
    }
    startSeconds = 0;
    outcome = Outcome::Complete;
    failedItem = 0;
    seconds = 0;
    exchanges = 0;
    retries = 0;
    items.fill(Verdict::None);
    readings.fill(-1);
    verdicts.fill(Verdict::None);
    lower.fill(0);
    upper.fill(0);
    extras.fill(-1);
    eepromWritten.fill(-1);
}

// Built by appending: GCC 12 warns falsely (-Wrestrict) on some chains of
// std::string operator+.
std::string ValueKey(const JudgedValue& catalogued) {
    std::string key = std::to_string(catalogued.item);
    key += '.';
    key += catalogued.name;
    if (catalogued.slot >= 0) {
        key += '.';
        key += std::to_string(catalogued.slot);
    }
    return key;
}

std::string ExtraKey(std::size_t column) {
    for (const ExtraReading& extra : kExtraValues) {
        const std::size_t width = extra.count == 0 ? 1 : static_cast<std::size_t>(extra.count);
        if (column < width) {
            std::string key = std::to_string(extra.item);
            key += '.';
            key += extra.name;
            if (extra.count > 0) {
                key += '.';
                key += std::to_string(column);
            }
            return key;
        }
        column -= width;
    }
    return "";
}

std::string_view ItemTitle(int item) {
    constexpr std::string_view kTitles[7] = {"Eeprom Erasing",           "Lever sensor check",
                                             "White level adjustment",   "Black level adjustment",
                                             "Without paper adjustment", "Mag adjustment",
                                             "Motor speed check"};
    return item >= 1 && item <= 7 ? kTitles[item - 1] : std::string_view();
}

std::string_view CauseText(std::string_view banner) {
    const size_t first = banner.find_first_not_of("X ");
    if (first == std::string_view::npos) return banner;
    const size_t last = banner.find_last_not_of("X ");
    return banner.substr(first, last - first + 1);
}

}  // namespace zul::records
