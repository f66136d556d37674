#pragma once

#include <cstdint>

namespace zul {

// The one answer byte the exchange interprets: the unit accepts a command.
inline constexpr uint8_t ACK = 0x06;

// Command bytes of the ZUL-1x unit, named by their value.
namespace cmd {
inline constexpr uint8_t kEnq = 0x05;               // send the data of the current item and stage
inline constexpr uint8_t kOpenWhite = 0xA1;         // open the white level adjustment
inline constexpr uint8_t kOpenBlack = 0xA2;         // open the black level adjustment
inline constexpr uint8_t kOpenNonPaper = 0xA3;      // open the non-paper adjustment
inline constexpr uint8_t kOpenMag = 0xA4;           // open (restart) the mag adjustment
inline constexpr uint8_t kMotorSpeed = 0xA6;        // measure the motor speed, one byte back
inline constexpr uint8_t kOpenLever = 0xA7;         // open the lever sensor reading
inline constexpr uint8_t kEepromWrite = 0xB0;       // first command of the EEPROM write
inline constexpr uint8_t kEepromExecute = 0xB4;     // second command of the EEPROM write and erase
inline constexpr uint8_t kEepromErase = 0xB6;       // first command of the EEPROM erase
inline constexpr uint8_t kWhiteResistor = 0xC0;     // start the resistor adjustment (white)
inline constexpr uint8_t kNonPaperResistor = 0xC1;  // start the resistor adjustment (non-paper)
inline constexpr uint8_t kWhiteResult = 0xE0;       // send the adjusted A/D and D/A values
inline constexpr uint8_t kConfirm = 0xEE;           // confirm the adjustment
}  // namespace cmd

// How a command is exchanged.
enum class Exchange { Answered, Acknowledged, Block };

struct CommandInfo {
    uint8_t code;
    Exchange exchange;
    const char* name;
};

// Every command byte in use, with the exchange that carries it.
inline constexpr CommandInfo kCommandTable[] = {
    {cmd::kEnq, Exchange::Block, "ENQ"},
    {cmd::kOpenWhite, Exchange::Acknowledged, "open white level"},
    {cmd::kOpenBlack, Exchange::Acknowledged, "open black level"},
    {cmd::kOpenNonPaper, Exchange::Acknowledged, "open non-paper"},
    {cmd::kOpenMag, Exchange::Acknowledged, "open mag"},
    {cmd::kMotorSpeed, Exchange::Block, "motor speed"},
    {cmd::kOpenLever, Exchange::Acknowledged, "open lever"},
    {cmd::kEepromWrite, Exchange::Answered, "EEPROM write"},
    {cmd::kEepromExecute, Exchange::Answered, "EEPROM execute"},
    {cmd::kEepromErase, Exchange::Answered, "EEPROM erase"},
    {cmd::kWhiteResistor, Exchange::Answered, "white resistor adjustment"},
    {cmd::kNonPaperResistor, Exchange::Answered, "non-paper resistor adjustment"},
    {cmd::kWhiteResult, Exchange::Block, "white result"},
    {cmd::kConfirm, Exchange::Answered, "confirm adjustment"},
};

// The entry of code in kCommandTable, or nullptr for a byte not in use.
constexpr const CommandInfo* FindCommand(uint8_t code) {
    for (const CommandInfo& info : kCommandTable) {
        if (info.code == code) return &info;
    }
    return nullptr;
}

// Read time-out constants that callers raise for single exchanges.
inline constexpr uint16_t kNonPaperResistorTimeoutMs = 5000;  // 0xC1
inline constexpr uint16_t kWhiteResultTimeoutMs = 10000;      // 0xE0
inline constexpr uint16_t kMotorSpeedTimeoutMs = 5000;        // 0xA6

}  // namespace zul
