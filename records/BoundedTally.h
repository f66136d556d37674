#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "records/TextSafety.h"

namespace zul::records {

// Figures of type T kept per name (a cause, a station, a limits revision)
// for at most maxNames names of at most maxBytes bytes each: whatever a
// folder holds, the memory is bounded. Names met once the tally is full go
// to others().
template <class T>
class BoundedTally {
public:
    explicit BoundedTally(std::size_t maxNames, std::size_t maxBytes = 160)
        : maxNames_(maxNames), maxBytes_(maxBytes) {}

    // The figures of name (cut to maxBytes), or others() when the tally is
    // full and name is not in it.
    T& operator[](std::string_view name) {
        name = CutText(name, maxBytes_);
        if (auto it = map_.find(name); it != map_.end()) return it->second;
        if (map_.size() >= maxNames_) {
            overflowed_ = true;
            return others_;
        }
        return map_.emplace(std::string(name), T{}).first->second;
    }
    // The names kept, in name order.
    const std::map<std::string, T, std::less<>>& names() const { return map_; }
    const T& others() const { return others_; }
    T& others() { return others_; }
    // others(), for figures of names known to be beyond the bound (names a
    // database left uncounted): marks the tally overflowed.
    T& Overflow() {
        overflowed_ = true;
        return others_;
    }
    // Whether any name went to others().
    bool overflowed() const { return overflowed_; }

private:
    std::map<std::string, T, std::less<>> map_;
    T others_{};
    bool overflowed_ = false;
    std::size_t maxNames_;
    std::size_t maxBytes_;
};

}  // namespace zul::records
