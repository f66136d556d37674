#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

namespace zul::sim {

// How the simulated unit misbehaves on one command.
struct Fault {
    enum class Kind {
        None,     // answer normally
        Refuse,   // answer the single byte refuseByte instead (for blocks: instead of the block)
        Silent,   // send nothing
        Short,    // send only the first `bytes` bytes of the normal answer
        Long,     // send the normal answer followed by `bytes` extra bytes
        Late,     // send the normal answer after delayMs
        DropOff,  // the unit drops off the line: silent from this reception on
    };
    Kind kind = Kind::None;
    uint8_t refuseByte = 0x15;
    uint32_t bytes = 1;
    uint32_t delayMs = 0;
    // 0: on every reception of the command; n >= 1: only on its n-th reception
    // (counted from the unit's creation, 1-based).
    uint32_t onlyNth = 0;
    uint8_t extraByte = 0xFF;  // Long: the value of every extra byte
};

// One sample of the mag board: the unit's peak value and its current A/D value.
struct MagSample {
    uint8_t peak = 0;
    uint8_t ad = 0;
};

// The readings the simulated unit reports. The defaults are a healthy unit
// that passes every item.
struct Profile {
    // Lever readings (back, left, right) with paper in (the first 0xA7 of a
    // lever check) and with paper out (the second).
    std::array<uint8_t, 3> leverPaperIn{1, 0xC0, 0xC0};
    std::array<uint8_t, 3> leverPaperOut{0, 0x20, 0x20};

    // White level: the 8 register bytes (answer to 0x05 after 0xC0) and the
    // 31-byte result block (answer to 0xE0).
    std::array<uint8_t, 8> whiteRegisters{0x55, 0x55, 0x05, 0x05, 0x40, 0x40, 0x40, 0x40};
    std::array<uint8_t, 31> whiteResult{
        77,  77,  77,  77,  77,  77,  180, 180, 180, 180, 77,  77,   // A/D slots 0-11
        0,   0,   0,                                                 // unused
        128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128, 128,  // D/A slots 0-11
        77,  77,                                                     // A/D slots 12-13
        128, 128};                                                   // D/A slots 12-13

    // Black level: the 4 A/D readings (answer to 0x05 after 0xA2).
    std::array<uint8_t, 4> blackResult{50, 50, 50, 50};

    // Non-paper: the 4 register bytes (first 0x05 after 0xC1) and the 12-byte
    // result block (second 0x05, after 0xEE).
    std::array<uint8_t, 4> nonPaperRegisters{0x55, 0x55, 0x40, 0x40};
    std::array<uint8_t, 12> nonPaperResult{100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 0, 0};

    // The mag board's movement: each 0x05 of the mag adjustment answers the
    // next sample; the last one repeats. 0xA4 starts again from the first.
    std::vector<MagSample> magSamples{{58, 58}};

    // Answer to 0xA6.
    uint8_t motorSpeed = 105;

    // Per-command faults; the first fault that applies to a reception wins.
    std::map<uint8_t, std::vector<Fault>> faults;

    // Bytes of padByte sent behind every answer (0: none), as a unit that
    // pads its answers. A healthy program passes every item all the same.
    uint32_t pad = 0;
    uint8_t padByte = 0x15;

    // 0: the unit stays on the line. n >= 1: the unit answers its first n
    // receptions (of any command) and is silent from then on, as a unit whose
    // cable came loose.
    uint32_t dropOffAfter = 0;
};

// Puts the A/D readings and D/A settings of the 14 white slots into the
// 31-byte white result block where the unit sends them: A/D of slots 0-11
// in bytes 0-11, D/A of slots 0-11 in bytes 15-26, then A/D and D/A of
// slots 12 and 13 in bytes 27-28 and 29-30. Bytes 12-14 are left as they are.
inline void SetWhiteReadings(Profile& p, const std::array<uint8_t, 14>& ad,
                             const std::array<uint8_t, 14>& da) {
    for (std::size_t s = 0; s < 12; ++s) {
        p.whiteResult[s] = ad[s];
        p.whiteResult[15 + s] = da[s];
    }
    p.whiteResult[27] = ad[12];
    p.whiteResult[28] = ad[13];
    p.whiteResult[29] = da[12];
    p.whiteResult[30] = da[13];
}

}  // namespace zul::sim
