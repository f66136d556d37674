#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zul {

// The result area: a list of text lines shown in a fixed-pitch font. While an
// item runs, line 0 is its title line. The window shows it; tests keep it in
// memory.
class ResultArea {
public:
    virtual ~ResultArea() = default;
    // Appends one line (without line end) and makes it visible at once.
    virtual void Append(std::string_view line) = 0;
    // Deletes the lines from the last one down to index, so the lines before
    // index stay. Does nothing when there are no lines at or after index.
    virtual void Trim(std::size_t index) = 0;
    // Empties the area.
    virtual void Clear() = 0;
    // The lines now shown.
    virtual std::vector<std::string> Lines() const = 0;
};

// A result area kept in memory.
class MemoryResultArea final : public ResultArea {
public:
    void Append(std::string_view line) override { lines_.emplace_back(line); }
    void Trim(std::size_t index) override {
        if (index < lines_.size()) lines_.resize(index);
    }
    void Clear() override { lines_.clear(); }
    std::vector<std::string> Lines() const override { return lines_; }

private:
    std::vector<std::string> lines_;
};

}  // namespace zul
