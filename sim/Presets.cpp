#include "sim/Presets.h"

#include "serial/Commands.h"

namespace zul::sim {

std::optional<Profile> PresetProfile(std::string_view name) {
    Profile p;
    if (name == "healthy") return p;
    if (name == "silent") {
        for (int code = 0; code < 256; ++code) {
            p.faults[static_cast<uint8_t>(code)] = {Fault{.kind = Fault::Kind::Silent}};
        }
        return p;
    }
    if (name == "refused-erase") {
        p.faults[cmd::kEepromErase] = {Fault{.kind = Fault::Kind::Refuse, .refuseByte = 0x15}};
        return p;
    }
    if (name == "lever-fault") {
        p.leverPaperIn[1] = 0x40;
        p.leverPaperOut[2] = 0xC0;
        return p;
    }
    if (name == "white-fail") {
        p.whiteResult[3] = 61;   // A/D of Front Red
        p.whiteResult[29] = 29;  // D/A of Up Ir
        return p;
    }
    if (name == "nonpaper-fail") {
        p.nonPaperResult[2] = 50;  // Right Ir
        p.nonPaperResult[6] = 27;  // M LRed
        return p;
    }
    if (name == "mag-sweep") {
        p.magSamples = {{20, 20}, {35, 35}, {48, 48}, {58, 58}, {58, 52}, {58, 56}};
        return p;
    }
    if (name == "slow-motor") {
        p.motorSpeed = 80;
        return p;
    }
    if (name == "refused-write") {
        p.faults[cmd::kEepromWrite] = {Fault{.kind = Fault::Kind::Refuse, .refuseByte = 0x15}};
        return p;
    }
    if (name == "drop-off") {
        p.dropOffAfter = 3;  // 0xB6, 0xB4, 0xA7; the lever blocks go unanswered
        return p;
    }
    if (name == "straddle") {
        // The 7th ENQ of a run asks for the white registers (8 bytes, read
        // within 2080 ms): 3 ms latency, 2072 ms more, then 1.15 ms a byte
        // puts about half of the block before the deadline and half after.
        p.faults[cmd::kEnq] = {Fault{.kind = Fault::Kind::Late, .delayMs = 2072, .onlyNth = 7}};
        return p;
    }
    if (name == "padded") {
        p.pad = 2;  // two NAK bytes behind every answer
        return p;
    }
    return std::nullopt;
}

}  // namespace zul::sim
