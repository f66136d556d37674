#include "records/Numbers.h"

#include <cmath>
#include <cstdio>

namespace zul::records {

std::string Fixed(double value, int digits) {
    if (!std::isfinite(value)) return "-";
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", digits, value);
    // "-0.0" says nothing "0.0" does not.
    std::string out = text;
    if (out[0] == '-' && out.find_first_not_of("-0.") == std::string::npos) out.erase(0, 1);
    return out;
}

std::string Fixed(const std::optional<double>& value, int digits) {
    return value ? Fixed(*value, digits) : "-";
}

std::string Percent(int64_t part, int64_t whole) {
    if (whole <= 0) return "-";
    return Fixed(100.0 * static_cast<double>(part) / static_cast<double>(whole), 1) + " %";
}

std::string Share(double share) {
    return Fixed(100.0 * share, 2) + " %";
}

std::string Counted(int64_t n, const std::string& noun, const std::string& plural) {
    return std::to_string(n) + " " + (n == 1 ? noun : plural.empty() ? noun + "s" : plural);
}

}  // namespace zul::records
