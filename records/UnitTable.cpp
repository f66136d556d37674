#include "records/UnitTable.h"

#include <algorithm>

#include "records/HashSet64.h"
#include "records/TextSafety.h"

namespace zul::records {

namespace {

uint32_t Clamp32(int64_t seconds) {
    return static_cast<uint32_t>(std::clamp<int64_t>(seconds, 0, UINT32_MAX));
}

}  // namespace

UnitTable::Unit* UnitTable::Find(uint64_t key, bool& found) {
    const auto low = static_cast<uint32_t>(key), high = static_cast<uint32_t>(key >> 32);
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = key & mask;; i = (i + 1) & mask) {
        Unit& u = slots_[i];
        if (u.packed == 0 || (u.keyLow == low && u.keyHigh == high)) {
            found = u.packed != 0;
            return &u;
        }
    }
}

void UnitTable::Grow() {
    std::vector<Unit> old(slots_.empty() ? 1024 : slots_.size() * 2);
    old.swap(slots_);
    for (const Unit& u : old) {
        if (u.packed == 0) continue;
        bool found = false;
        *Find((uint64_t{u.keyHigh} << 32) | u.keyLow, found) = u;
    }
}

void UnitTable::Add(std::string_view serial, int64_t startSeconds, uint32_t station, bool verdict,
                    bool complete) {
    const uint64_t key = Hash64(serial);
    if (slots_.empty()) Grow();
    bool found = false;
    Unit* u = Find(key, found);
    if (!found) {
        if (size_ >= kMaxUnits) {
            ++untracked_;
            return;
        }
        // At most three quarters of the slots used.
        if (4 * (size_ + 1) > 3 * slots_.size()) {
            Grow();
            u = Find(key, found);
        }
        ++size_;
        u->keyLow = static_cast<uint32_t>(key);
        u->keyHigh = static_cast<uint32_t>(key >> 32);
        u->packed = std::min(station, kOtherStation) << kStationShift;
    }
    const uint32_t runs = std::min(u->runs() + 1, kMaxRuns);
    u->packed = (u->packed & ~kMaxRuns) | runs;
    if (verdict) {
        const uint32_t at = Clamp32(startSeconds);
        if (!u->judged() || at < u->firstSeconds) {
            u->firstSeconds = at;
            u->packed = (u->packed & ~(kFirstComplete | (kOtherStation << kStationShift))) |
                        (complete ? kFirstComplete : 0) |
                        (std::min(station, kOtherStation) << kStationShift);
        }
        if (!u->judged() || at >= u->lastSeconds) {
            u->lastSeconds = at;
            u->packed = (u->packed & ~kLastComplete) | (complete ? kLastComplete : 0);
        }
        u->packed |= kJudged;
    }
    Show(serial, key, runs);
}

// A unit's count only ever grows by one, and is offered here each time: so
// the units kept here at the end are those with the most runs.
void UnitTable::Show(std::string_view serial, uint64_t key, uint32_t runs) {
    for (Shown& s : shown_) {
        if (s.key == key) {
            s.runs = runs;
            return;
        }
    }
    if (shown_.size() < kShown) {
        shown_.push_back({std::string(CutText(serial, 200)), key, runs});
        return;
    }
    auto fewest = std::min_element(shown_.begin(), shown_.end(),
                                   [](const Shown& a, const Shown& b) { return a.runs < b.runs; });
    if (runs > fewest->runs) *fewest = {std::string(CutText(serial, 200)), key, runs};
}

std::vector<std::pair<UnitTable::Shown, UnitTable::Unit>> UnitTable::MostRuns() const {
    std::vector<std::pair<Shown, Unit>> out;
    for (const Shown& s : shown_) {
        if (slots_.empty()) break;
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = s.key & mask;; i = (i + 1) & mask) {
            const Unit& u = slots_[i];
            if (u.packed == 0) break;
            if (u.keyLow == static_cast<uint32_t>(s.key) &&
                u.keyHigh == static_cast<uint32_t>(s.key >> 32)) {
                out.emplace_back(s, u);
                break;
            }
        }
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const auto& a, const auto& b) { return a.first.runs > b.first.runs; });
    return out;
}

}  // namespace zul::records
