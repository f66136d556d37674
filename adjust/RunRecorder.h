#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zul {

struct JudgedValue;  // adjust/JudgedValues.h

// How a run ended.
enum class RunOutcome {
    Complete,   // "**** COMPLETE ****"
    Failed,     // an item failed (its report, or "Communication error")
    Cancelled,  // Cancel before the run's end
    Closed,     // the window was closed mid-run
};

// The record of one run, told as the run goes: the wizard tells when a run
// and each item begin and end; the items tell what they measured, the cause
// they reported and the EEPROM write. This base records nothing (records
// off); a recording implementation overrides what it keeps.
class RunRecorder {
public:
    virtual ~RunRecorder() = default;

    // A run begins, for the unit of this serial number (empty when none was
    // asked for).
    virtual void RunStarted(std::string_view /*unitId*/) {}
    // Item number (1 to 7) with its title begins.
    virtual void ItemStarted(int /*number*/, std::string_view /*title*/) {}
    // The item now running measured values (a byte list) or value, named.
    virtual void Measured(std::string_view /*name*/, std::span<const uint8_t> /*values*/) {}
    virtual void Measured(std::string_view /*name*/, int /*value*/) {}
    // The item now running judged reading as value of the catalogue: pass
    // when it lay within the value's limits (for a value that is never
    // judged, whether it would have).
    virtual void Judged(const JudgedValue& /*value*/, uint8_t /*reading*/, bool /*pass*/) {}
    // The banner line, or "Communication error", the item reported.
    virtual void Cause(std::string_view /*line*/) {}
    // The item's EEPROM write sequence ended: written when both commands were
    // acknowledged.
    virtual void EepromWrite(bool /*written*/) {}
    // The item now running passed (all its steps), or failed with these
    // result-area lines.
    virtual void ItemPassed() {}
    virtual void ItemFailed(std::span<const std::string> /*reportLines*/) {}
    // The run ended; exchanges and retries counted since it started.
    virtual void RunEnded(RunOutcome /*outcome*/, uint32_t /*exchanges*/, uint32_t /*retries*/) {}
};

// The recorder that keeps nothing, for a program without records.
inline RunRecorder& NoRecords() {
    static RunRecorder none;
    return none;
}

}  // namespace zul
