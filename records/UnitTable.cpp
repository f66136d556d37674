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
    const uint32_t at = Clamp32(startSeconds);
    const uint32_t stationBits = std::min(station, kOtherStation) << kStationShift;
    constexpr uint32_t kStationMask = kOtherStation << kStationShift;
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
        u->firstSeconds = at;
        u->packed = stationBits;
    }
    const uint32_t runs = std::min(u->runs() + 1, kMaxRuns);
    u->packed = (u->packed & ~kMaxRuns) | runs;
    if (verdict) {
        // Of two runs in one second, the failed one counts as the first and
        // as the last: the order does not hang on the order of reading.
        const bool judged = u->judged();
        if (!judged || at < u->firstSeconds ||
            (at == u->firstSeconds && !complete && u->firstComplete())) {
            u->firstSeconds = at;
            u->packed = (u->packed & ~(kFirstComplete | kStationMask)) |
                        (complete ? kFirstComplete : 0) | stationBits;
        }
        if (!judged || at > u->lastSeconds || (at == u->lastSeconds && !complete)) {
            u->lastSeconds = at;
            u->packed = (u->packed & ~kLastComplete) | (complete ? kLastComplete : 0);
        }
        u->packed |= kJudged;
    } else if (!u->judged() && at < u->firstSeconds) {
        // Until a run comes to a verdict, the unit belongs to the station of
        // its earliest run.
        u->firstSeconds = at;
        u->packed = (u->packed & ~kStationMask) | stationBits;
    }
    Show(serial, key, runs);
}

bool UnitTable::ShownBefore(uint32_t aRuns, std::string_view aSerial, uint32_t bRuns,
                            std::string_view bSerial) {
    return aRuns != bRuns ? aRuns > bRuns : aSerial < bSerial;
}

// A unit's count only ever grows by one, and is offered here each time: so
// the units kept here at the end are those first in ShownBefore's order.
void UnitTable::Show(std::string_view serial, uint64_t key, uint32_t runs) {
    for (Shown& s : shown_) {
        if (s.key == key) {
            s.runs = runs;
            return;
        }
    }
    const std::string_view cut = CutText(serial, 200);
    if (shown_.size() < kShown) {
        shown_.push_back({std::string(cut), key, runs});
        return;
    }
    auto last = std::min_element(shown_.begin(), shown_.end(), [](const Shown& a, const Shown& b) {
        return ShownBefore(b.runs, b.serial, a.runs, a.serial);
    });
    if (ShownBefore(runs, cut, last->runs, last->serial)) *last = {std::string(cut), key, runs};
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
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
        return ShownBefore(a.first.runs, a.first.serial, b.first.runs, b.first.serial);
    });
    return out;
}

}  // namespace zul::records
