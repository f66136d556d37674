#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "mock/FakePort.h"
#include "serial/ForwardingPort.h"

namespace zul::test {

// A FakePort with nothing at the far end whose opens fail by name: opening a
// name listed in failures fails with its code; every other name opens. Counts
// the closes of an open device.
class OpenRecordingPort final : public ForwardingPort {
public:
    OpenRecordingPort() : ForwardingPort(fake) {}

    uint32_t OpenDevice(const std::string& portName) override {
        const auto it = failures.find(portName);
        fake.openError = it != failures.end() ? it->second : kOk;
        return fake.OpenDevice(portName);
    }
    void Close() override {
        if (fake.IsOpen()) ++closes;
        fake.Close();
    }

    FakePort fake;                             // every open and configuration, in order
    std::map<std::string, uint32_t> failures;  // port name -> error code of its open
    int closes = 0;                            // closes of an open device
};

}  // namespace zul::test
