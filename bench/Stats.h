#pragma once

#include <cstddef>
#include <vector>

namespace zul::bench {

// Order statistics of a sample (any unit). All zero for an empty sample.
struct Summary {
    std::size_t count = 0;
    double min = 0;
    double median = 0;
    double p99 = 0;  // nearest-rank 99th percentile
    double max = 0;
};

Summary Summarize(std::vector<double> values);

}  // namespace zul::bench
