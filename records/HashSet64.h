#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace zul::records {

// A 64-bit hash of text (FNV-1a, then a final mix so that nearby texts
// spread over the whole table). Never 0.
inline uint64_t Hash64(std::string_view text) {
    uint64_t h = 14695981039346656037ull;
    for (char c : text) h = (h ^ static_cast<uint8_t>(c)) * 1099511628211ull;
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return h == 0 ? 1 : h;
}

// A set of 64-bit hashes (never 0) with room for at most a fixed number,
// open addressing in one array: 8 bytes a slot, at most half the slots
// used. Memory: 16 bytes an entry at most, so a cap of 2^20 entries is at
// most 16 MiB.
class HashSet64 {
public:
    explicit HashSet64(std::size_t maxEntries) : max_(maxEntries) {}

    enum class Added { New, Present, Full };
    // Adds key; Full when the set holds its maximum and key is not in it.
    Added Add(uint64_t key) {
        if (slots_.empty()) slots_.assign(64, 0);
        std::size_t mask = slots_.size() - 1;
        for (std::size_t i = key & mask;; i = (i + 1) & mask) {
            if (slots_[i] == key) return Added::Present;
            if (slots_[i] == 0) break;
        }
        if (size_ >= max_) return Added::Full;
        if (2 * (size_ + 1) > slots_.size()) {
            Grow();
            mask = slots_.size() - 1;
        }
        std::size_t i = key & mask;
        while (slots_[i] != 0) i = (i + 1) & mask;
        slots_[i] = key;
        ++size_;
        return Added::New;
    }
    std::size_t size() const { return size_; }
    // Empties the set and gives its memory back.
    void Clear() {
        std::vector<uint64_t>().swap(slots_);
        size_ = 0;
    }

private:
    void Grow() {
        std::vector<uint64_t> old(slots_.size() * 2, 0);
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (uint64_t key : old) {
            if (key == 0) continue;
            std::size_t i = key & mask;
            while (slots_[i] != 0) i = (i + 1) & mask;
            slots_[i] = key;
        }
    }

    std::vector<uint64_t> slots_;
    std::size_t size_ = 0;
    std::size_t max_;
};

}  // namespace zul::records
