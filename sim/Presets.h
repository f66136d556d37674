#pragma once

#include <optional>
#include <string_view>

#include "sim/SimProfile.h"

namespace zul::sim {

struct PresetInfo {
    const char* name;
    const char* description;
};

// The named profiles of the simulator tool, for bench engineers.
inline constexpr PresetInfo kPresets[] = {
    {"healthy", "passes every item (the default)"},
    {"silent", "answers nothing at all"},
    {"refused-erase", "refuses 0xB6 with 0x15: \"Cannot erase EEPROM !\""},
    {"lever-fault", "left lever cannot be activated, right lever cannot be deactivated"},
    {"white-fail", "white level: Front Red A/D 61 and Up Ir D/A 29 fail"},
    {"nonpaper-fail", "non-paper: Right Ir 50 and M LRed 27 fail"},
    {"mag-sweep", "mag board moves into the window: peak 20, 35, 48, then 58"},
    {"slow-motor", "motor speed 80"},
    {"refused-write", "refuses 0xB0 with 0x15: \"EEPROM writing error\""},
    {"drop-off", "answers the EEPROM erase and the lever opening, then drops off the line"},
    {"straddle", "healthy; the first white register block arrives across its deadline"},
    {"padded", "healthy; every answer is followed by two 0x15 bytes"},
};

// The profile of the preset called name, or nullopt for an unknown name.
std::optional<Profile> PresetProfile(std::string_view name);

}  // namespace zul::sim
