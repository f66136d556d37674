#include "bench/Stats.h"

#include <algorithm>
#include <cmath>

namespace zul::bench {

Summary Summarize(std::vector<double> values) {
    Summary s;
    if (values.empty()) return s;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    s.count = n;
    s.min = values.front();
    s.max = values.back();
    s.median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    // Nearest rank: the smallest value with at least 99 % of the sample at or below it.
    const size_t rank = static_cast<size_t>(std::ceil(0.99 * static_cast<double>(n)));
    s.p99 = values[std::max<size_t>(rank, 1) - 1];
    return s;
}

}  // namespace zul::bench
