#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sim/SimProfile.h"

namespace zul::sim {

// A small hand-editable profile of the simulated unit: one `key = value`
// setting a line, applied over a Profile. Blank lines and lines starting with
// '#' are ignored; numbers are decimal or 0x-prefixed hexadecimal bytes.
//
//   lever_paper_in = 1 192 192           (back, left, right)
//   lever_paper_out = 0 32 32
//   white_registers = 8 bytes            white_result = 31 bytes
//   black_result = 4 bytes
//   nonpaper_registers = 4 bytes         nonpaper_result = 12 bytes
//   white_result[3] = 61                 (one byte of any of the blocks above)
//   mag_samples = 30/30 50/50 60/60      (peak/A-D, one per ENQ, last repeats)
//   motor_speed = 80
//   drop_off_after = 12                  (silent after 12 commands; 0: never)
//   fault 0xB6 = refuse [0x15]           (answer this byte instead)
//   fault 0x05 = silent | short N | long N [fill B] | late MS | drop-off
//   ... any fault may end in `on N`: only on the N-th reception of the command
//
// Several fault lines for the same command apply in their order (the first
// that applies to a reception wins).

struct ProfileError {
    int line = 0;         // 1-based line of the text
    std::string message;  // what is wrong with it
};

// Applies every setting of text to profile. Stops at the first bad line and
// returns its error; the settings before it stay applied. nullopt: all applied.
std::optional<ProfileError> ApplyProfileText(std::string_view text, Profile& profile);

// Reads the file at path and applies it. An unreadable file is an error on
// line 0.
std::optional<ProfileError> ApplyProfileFile(const std::string& path, Profile& profile);

}  // namespace zul::sim
