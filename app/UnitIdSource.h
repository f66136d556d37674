#pragma once

#include <optional>
#include <string>

namespace zul {

// Where the serial number of the unit on the bench comes from when the
// station is set to ask for it (unit_id = scan): asked once at each Start,
// before anything is sent to the unit.
class UnitIdSource {
public:
    virtual ~UnitIdSource() = default;
    // The number, or nullopt when the operator cancelled: the run does not
    // begin.
    virtual std::optional<std::string> Ask() = 0;
};

}  // namespace zul
