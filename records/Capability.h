#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "adjust/JudgedValues.h"

namespace zul::records {

// The figures of one set of readings (whole numbers 0 to 255): their
// count, sum and sum of squares, exact in 64 bits (up to 2^47 readings).
// The report's mean and standard deviation come from these alone (Mean,
// Sd), so that the same readings give the same digits whether they were
// added one by one from a folder or summed by a database.
struct Moments {
    uint64_t n = 0;
    uint64_t sum = 0;
    uint64_t sumSquares = 0;
    void Add(uint8_t x, uint64_t count = 1) {
        n += count;
        sum += count * x;
        sumSquares += count * x * x;
    }
    // The mean; 0 for no readings.
    double Mean() const;
    // The sum of squared deviations from the mean.
    double M2() const;
    // The sample standard deviation; none for fewer than two readings.
    std::optional<double> Sd() const;
};

// Every reading of one judged value: its moments, extremes, the readings
// outside the value's limits, and a histogram over the byte's 256 values.
struct ValueTally {
    Moments moments;
    int min = 255, max = 0;
    uint64_t outside = 0;
    std::array<uint64_t, 256> histogram{};
    // count readings of the value reading, judged against the catalogue entry's limits.
    void Add(uint8_t reading, const JudgedValue& catalogued, uint64_t count = 1) {
        if (count == 0) return;
        moments.Add(reading, count);
        min = reading < min ? reading : min;
        max = reading > max ? reading : max;
        if (reading < catalogued.lower || reading > catalogued.upper) outside += count;
        histogram[reading] += count;
    }
};

// The process capability of one value against its limits. A bound at the
// byte's end (lower 0, upper 255) cannot fail: the limit is one-sided, Cp
// has no meaning and Cpk comes from the other bound. No figure where it
// would divide by a standard deviation of 0 or come from fewer than two
// readings: never a NaN or an infinity.
struct Capability {
    uint64_t n = 0;
    bool judged = true;  // false for a value shown against limits but never judged
    double mean = 0;
    std::optional<double> sd;
    int min = 0, max = 0;
    bool lowerActive = false, upperActive = false;
    std::optional<double> cp, cpk;
    double outsideShare = 0;  // 0 to 1
};
Capability CapabilityOf(const ValueTally& tally, const JudgedValue& catalogued);

// Whether a comes before b in the order "closest to its limits first": the
// judged values before those never judged, and among them any share outside
// the limits first (the largest first), then the lowest Cpk, then values
// without a Cpk; values without readings last.
bool CloserToLimits(const Capability& a, const Capability& b);

}  // namespace zul::records
