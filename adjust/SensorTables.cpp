#include "adjust/SensorTables.h"

namespace zul {

namespace {

void Store(std::size_t entry, uint8_t value, RegValues& regValue) {
    if (entry < regValue.size()) regValue[entry] = value;
}

}  // namespace

void RegFromBits3To0(uint8_t raw, std::size_t entry, RegValues& regValue) {
    Store(entry, raw & 0x0F, regValue);
}

void RegFromBits5To4(uint8_t raw, std::size_t entry, RegValues& regValue) {
    Store(entry, (raw >> 4) & 0x03, regValue);
}

void RegFromBits7To6(uint8_t raw, std::size_t entry, RegValues& regValue) {
    Store(entry, (raw >> 6) & 0x03, regValue);
}

void RegFromBits6And4(uint8_t raw, std::size_t entry, RegValues& regValue) {
    if ((raw & 0xA0) != 0) return;  // bit 5 or bit 7 set: no setting the unit can have
    Store(entry, ((raw >> 6) & 0x01) | ((raw >> 3) & 0x02), regValue);
}

void DecodeRegisters(std::span<const RegDecode> plan, AdjustmentData& data) {
    data.regValue.fill(0);
    for (const RegDecode& step : plan) {
        if (step.rawIndex < data.regRaw.size()) {
            step.decode(data.regRaw[step.rawIndex], step.entry, data.regValue);
        }
    }
}

}  // namespace zul
