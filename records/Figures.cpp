#include "records/Figures.h"

#include <algorithm>
#include <numeric>

namespace zul::records {

void RunCounts::Add(Outcome outcome, int64_t count) {
    runs += count;
    switch (outcome) {
        case Outcome::Complete:
            complete += count;
            break;
        case Outcome::Failed:
            failed += count;
            break;
        case Outcome::CommunicationError:
            communication += count;
            break;
        case Outcome::Cancelled:
        case Outcome::Closed:
            break;
    }
}

void RunCounts::Add(const RunCounts& other) {
    runs += other.runs;
    complete += other.complete;
    failed += other.failed;
    communication += other.communication;
}

void Figures::Station::Add(const Station& other) {
    counts.Add(other.counts);
    units += other.units;
    judgedUnits += other.judgedUnits;
    firstPass += other.firstPass;
}

Figures::Figures() = default;

Figures::Day* Figures::DayOf(std::string_view date) {
    if (lastDay_ != nullptr && date == lastDate_) return lastDay_;
    auto it = days.find(date);
    if (it == days.end()) {
        if (days.size() >= kMaxDays) return nullptr;
        it = days.emplace(std::string(date), Day{}).first;
        it->second.values.resize(kValueCount);
    }
    lastDate_.assign(date);
    lastDay_ = &it->second;
    return lastDay_;
}

void Figures::Add(const RunRecord& run) {
    all.Add(run.outcome);
    if (run.outcome == Outcome::Cancelled) ++cancelled;
    if (run.outcome == Outcome::Closed) ++closed;
    const bool inItem = run.failedItem >= 1 && run.failedItem <= 7;
    if (run.outcome == Outcome::Failed) {
        if (inItem) ++failedByItem[static_cast<size_t>(run.failedItem - 1)];
        const std::string_view cause = CauseText(run.cause);
        ++causes[cause.empty() ? OutcomeWord(run.outcome) : cause];
    } else if (run.outcome == Outcome::CommunicationError && inItem) {
        ++communicationByItem[static_cast<size_t>(run.failedItem - 1)];
    }
    if (run.judgedByReport()) {
        ++formatOne;
    } else {
        ++limits[run.limits.empty() ? "none" : std::string_view(run.limits)];
    }

    Day* day = DayOf(run.date());
    if (day != nullptr) {
        day->counts.Add(run.outcome);
    } else {
        ++runsOfOtherDays;
    }
    for (size_t i = 0; i < kValueCount; ++i) {
        if (run.readings[i] < 0) continue;
        const auto reading = static_cast<uint8_t>(run.readings[i]);
        values[i].Add(reading, kJudgedValues[i]);
        if (day != nullptr) day->values[i].Add(reading);
    }

    // A first-format record has no station: its host was the station.
    const std::string_view stationName = !run.station.empty() ? run.station : run.host;
    if (lastStationRow_ == nullptr || stationName != lastStation_) {
        lastStation_.assign(stationName);
        lastStationRow_ = &stations[stationName];
        if (lastStationRow_ == &stations.others()) {
            lastStationRow_->index = UnitTable::kOtherStation;
        } else if (lastStationRow_->counts.runs == 0 && lastStationRow_->index == 0) {
            stationByIndex_.push_back(lastStationRow_);
            lastStationRow_->index = static_cast<uint32_t>(stationByIndex_.size());
        }
    }
    Station& station = *lastStationRow_;
    station.counts.Add(run.outcome);

    if (run.unit.empty()) {
        ++units.runsWithoutUnit;
    } else {
        ++units.runsWithUnit;
        const bool verdict = run.outcome == Outcome::Complete || run.outcome == Outcome::Failed;
        units_.Add(run.unit, run.startSeconds, station.index, verdict, run.complete());
    }

    if (slowest.size() < kSlowest || run.seconds >= slowest.back().seconds) {
        SlowRun slow{run.seconds, std::string(CutText(run.start, 64)),
                     std::string(CutText(stationName, 64)), std::string(OutcomeWord(run.outcome)),
                     run.runId};
        if (slowest.size() < kSlowest || SlowerFirst(slow, slowest.back())) {
            slowest.insert(std::upper_bound(slowest.begin(), slowest.end(), slow, SlowerFirst),
                           std::move(slow));
            if (slowest.size() > kSlowest) slowest.pop_back();
        }
    }
}

bool Figures::SlowerFirst(const SlowRun& a, const SlowRun& b) {
    if (a.seconds != b.seconds) return a.seconds > b.seconds;
    if (a.start != b.start) return a.start < b.start;
    return a.runId < b.runId;
}

void Figures::Finish() {
    units.units = static_cast<int64_t>(units_.size());
    units.untracked = units_.untracked();
    units_.ForEach([&](const UnitTable::Unit& u) {
        ++units.byRuns[std::min<size_t>(u.runs(), 4) - 1];
        Station* station = nullptr;
        const uint32_t index = u.station();
        if (index >= 1 && index <= stationByIndex_.size()) {
            station = stationByIndex_[index - 1];
        } else if (index == UnitTable::kOtherStation) {
            station = &stations.others();
        }
        if (station != nullptr) ++station->units;
        if (!u.judged()) return;
        ++units.judged;
        if (u.firstComplete()) ++units.firstPass;
        if (u.lastComplete()) ++units.finalPass;
        if (station != nullptr) {
            ++station->judgedUnits;
            if (u.firstComplete()) ++station->firstPass;
        }
    });
    for (const auto& [shown, u] : units_.MostRuns()) {
        if (shown.runs < 2) continue;
        units.most.push_back(
            {shown.serial, shown.runs, u.judged(), u.firstComplete(), u.lastComplete()});
    }
    FinishValues();
}

void Figures::FinishValues() {
    for (size_t i = 0; i < kValueCount; ++i) {
        capability[i] = CapabilityOf(values[i], kJudgedValues[i]);
    }
    closestFirst.resize(kValueCount);
    std::iota(closestFirst.begin(), closestFirst.end(), size_t{0});
    std::stable_sort(closestFirst.begin(), closestFirst.end(), [&](size_t a, size_t b) {
        return CloserToLimits(capability[a], capability[b]);
    });
}

std::vector<std::pair<std::string, int64_t>> Figures::CausesByCount() const {
    std::vector<std::pair<std::string, int64_t>> out(causes.names().begin(), causes.names().end());
    std::stable_sort(out.begin(), out.end(),
                     [](const auto& a, const auto& b) { return a.second > b.second; });
    return out;
}

std::vector<std::pair<std::string, const Figures::Station*>> Figures::StationsByRuns() const {
    std::vector<std::pair<std::string, const Station*>> out;
    for (const auto& [name, station] : stations.names()) out.emplace_back(name, &station);
    std::stable_sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
        return a.second->counts.runs > b.second->counts.runs;
    });
    return out;
}

std::vector<std::pair<std::string, Figures::Station>> Figures::StationRows(
    std::size_t shown) const {
    std::vector<std::pair<std::string, Station>> rows;
    Station rest = stations.others();
    const auto byRuns = StationsByRuns();
    for (size_t i = 0; i < byRuns.size(); ++i) {
        const Station& s = *byRuns[i].second;
        if (i < shown) {
            rows.emplace_back(byRuns[i].first, s);
            continue;
        }
        rest.Add(s);
    }
    if (rest.counts.runs > 0) rows.emplace_back("(others)", rest);
    return rows;
}

}  // namespace zul::records
