#include "records/Capability.h"

#include <cmath>

namespace zul::records {

double Moments::Mean() const {
    return n == 0 ? 0 : static_cast<double>(sum) / static_cast<double>(n);
}

// With q the whole part of the mean and r the rest (sum = q n + r), the sum
// of squared deviations is sum((x - q)^2) - r^2 / n, the first term a whole
// number exact in 64 bits: no cancellation of two large sums.
double Moments::M2() const {
    if (n == 0) return 0;
    const uint64_t q = sum / n, r = sum % n;
    const uint64_t aroundQ = sumSquares - 2 * q * sum + q * q * n;
    const double rest = static_cast<double>(r);
    return static_cast<double>(aroundQ) - rest * (rest / static_cast<double>(n));
}

std::optional<double> Moments::Sd() const {
    if (n < 2) return std::nullopt;
    const double variance = M2() / static_cast<double>(n - 1);
    if (!(variance >= 0) || !std::isfinite(variance)) return std::nullopt;
    return std::sqrt(variance);
}

Capability CapabilityOf(const ValueTally& tally, const JudgedValue& catalogued) {
    Capability c;
    c.n = tally.moments.n;
    c.judged = catalogued.judged;
    if (c.n == 0) return c;
    c.mean = tally.moments.Mean();
    c.sd = tally.moments.Sd();
    c.min = tally.min;
    c.max = tally.max;
    c.lowerActive = catalogued.lower > 0;
    c.upperActive = catalogued.upper < 255;
    c.outsideShare = static_cast<double>(tally.outside) / static_cast<double>(c.n);
    // A spread below a thousandth of a count is no spread: the readings are
    // whole numbers, and rounding alone leaves traces of that size.
    if (!c.sd || *c.sd < 1e-3) return c;
    const double sigma3 = 3 * *c.sd;
    if (c.lowerActive && c.upperActive) c.cp = (catalogued.upper - catalogued.lower) / (2 * sigma3);
    std::optional<double> cpk;
    if (c.upperActive) cpk = (catalogued.upper - c.mean) / sigma3;
    if (c.lowerActive) {
        const double lower = (c.mean - catalogued.lower) / sigma3;
        cpk = cpk ? std::min(*cpk, lower) : lower;
    }
    c.cpk = cpk;
    return c;
}

bool CloserToLimits(const Capability& a, const Capability& b) {
    if ((a.n == 0) != (b.n == 0)) return a.n != 0;
    if (a.judged != b.judged) return a.judged;
    if (a.outsideShare != b.outsideShare) return a.outsideShare > b.outsideShare;
    if (a.cpk.has_value() != b.cpk.has_value()) return a.cpk.has_value();
    if (a.cpk && *a.cpk != *b.cpk) return *a.cpk < *b.cpk;
    return false;
}

}  // namespace zul::records
