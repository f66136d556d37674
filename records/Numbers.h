#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zul::records {

// Figures as the report prints them. None of these ever prints "nan" or
// "inf": a figure that is not a finite number is "-".

// value with digits decimals: "12.3".
std::string Fixed(double value, int digits);
// An optional figure: Fixed, or "-" when there is none.
std::string Fixed(const std::optional<double>& value, int digits);
// part of whole as a percentage with one decimal, "84.2 %"; "-" for a
// whole of 0.
std::string Percent(int64_t part, int64_t whole);
// A share 0 to 1 as a percentage with two decimals, "0.37 %".
std::string Share(double share);
// "1 run", "2 runs"; plural where the noun does not take an s.
std::string Counted(int64_t n, const std::string& noun, const std::string& plural = "");

}  // namespace zul::records
