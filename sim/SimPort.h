#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "serial/Clock.h"
#include "serial/SerialPort.h"
#include "sim/SimUnit.h"

namespace zul::sim {

// A serial port whose far end is a SimUnit in the same process, for tests of
// the exchange, the items and the widgets with no real time passing.
//
// The unit answers on the read that follows the write (the receive queue was
// emptied before the write), as a real unit does after its processing time. A read that a real
// line would time out advances the clock by what it would have waited
// (10 ms per requested byte plus the constant); an answer that comes in time
// advances it by the unit's delay.
class SimPort final : public SerialPort {
public:
    SimPort(SimUnit& unit, ManualClock& clock);  // neither is owned

    uint32_t OpenDevice(const std::string& portName) override;
    uint32_t Configure(const LineSettings& line) override;
    void Close() override;
    bool IsOpen() const override { return open_; }
    void SetReadTimeout(uint16_t ms) override { timeoutMs_ = ms; }
    uint16_t ReadTimeout() const override { return timeoutMs_; }
    bool WritePort(std::span<const uint8_t> bytes) override;
    uint32_t ReadPort(std::span<uint8_t> buffer) override;

    // Fault injection on the port itself.
    void FailOpenWith(uint32_t code) { openError_ = code; }  // 0: opens
    void FailWrites(bool fail) { failWrites_ = fail; }

    uint32_t writes() const { return writes_; }
    uint32_t reads() const { return reads_; }
    const std::string& portName() const { return portName_; }
    const std::optional<LineSettings>& line() const { return line_; }

private:
    SimUnit& unit_;
    ManualClock& clock_;
    bool open_ = false;
    bool failWrites_ = false;
    uint32_t openError_ = 0;
    uint16_t timeoutMs_ = kDefaultReadTimeoutMs;
    std::string portName_;
    std::optional<LineSettings> line_;
    std::optional<Answer> pending_;
    uint32_t writes_ = 0;
    uint32_t reads_ = 0;
};

}  // namespace zul::sim
