#pragma once

// An independent model of what a complete wizard run must do against a given
// unit: the command sequences of the seven items, the exchanges with their
// four attempts, the limit tables and the reports, written from the unit's
// protocol and the item rules, not from the item code. It talks to a twin of
// the simulated unit built from the same profile, so it sees exactly the
// answers the program sees as long as the program sends the same commands.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "mock/HostilePlan.h"
#include "sim/SimUnit.h"

namespace zul::test {

struct ReferenceOutcome {
    bool complete = false;
    int failedItem = 0;  // 1 to 7 when the run failed
    // The result area at the end: the failed item's title line, its report,
    // "" and "Click Cancel". Empty for a complete run.
    std::vector<std::string> lines;
    // Every command the unit must have received, in order.
    std::vector<uint8_t> commands;
    // Items 3 to 7 whose readings lay within their limits (and so may write
    // the EEPROM).
    std::array<bool, 8> judgedPass{};
    // Faults that shaped an answer, by kind.
    std::map<sim::Fault::Kind, uint32_t> fired;
};

class ReferenceRun {
public:
    explicit ReferenceRun(const HostilePlan& plan) : plan_(plan), unit_(plan.profile) {}

    ReferenceOutcome Run() {
        ReferenceOutcome out;
        static constexpr const char* kTitles[] = {"",
                                                  "*** 1.Eeprom Erasing ***",
                                                  "*** 2.Lever sensor check ***",
                                                  "*** 3.White level adjustment ***",
                                                  "*** 4.Black level adjustment ***",
                                                  "*** 5.Non paper adjustment ***",
                                                  "*** 6.Mag adjustment ***",
                                                  "*** 7.Moter speed check ***"};
        struct Step {
            int item;
            bool (ReferenceRun::*run)();
        };
        static constexpr Step kSteps[] = {
            {1, &ReferenceRun::Erase}, {2, &ReferenceRun::LeverUp}, {2, &ReferenceRun::LeverDown},
            {3, &ReferenceRun::White}, {4, &ReferenceRun::Black},   {5, &ReferenceRun::NonPaper},
            {6, &ReferenceRun::Mag},   {7, &ReferenceRun::Motor}};
        bool ok = true;
        int item = 0;
        for (const Step& step : kSteps) {
            item = step.item;
            if (!(this->*step.run)()) {
                ok = false;
                break;
            }
        }
        out.complete = ok;
        if (!ok) {
            out.failedItem = item;
            out.lines.push_back(kTitles[item]);
            out.lines.insert(out.lines.end(), report_.begin(), report_.end());
            out.lines.push_back("");
            out.lines.push_back("Click Cancel");
        }
        out.commands = unit_.Received();
        out.judgedPass = judgedPass_;
        out.fired = fired_;
        return out;
    }

    static constexpr const char* kErase = "XXXXXX    Cannot erase EEPROM !    XXXXXX";
    static constexpr const char* kWrite = "XXXXXX    EEPROM writing error    XXXXXX";
    static constexpr const char* kLever = "XXXXXX    Accepter lever error !    XXXXXX";
    static constexpr const char* kResister = "XXXXXX    Resister adjustment error !    XXXXXX";
    static constexpr const char* kWhite =
        "XXXXXX  Adjustment error of white reference paper !  XXXXXX";
    static constexpr const char* kBlack =
        "XXXXXX  Adjustment error of black reference paper !  XXXXXX";
    static constexpr const char* kNonPaper = "XXXXXX  Adjustment error of non paper !  XXXXXX";
    static constexpr const char* kMag = "XXXXXX    MAG A/D adjustment error !    XXXXXX";
    static constexpr const char* kMotor = "XXXXXX    Moter speed error !    XXXXXX";
    static constexpr const char* kDescriptions =
        "****** Descriptions *******************************";

private:
    // --- the exchange ---------------------------------------------------
    // One write and one read of len bytes; the number of bytes that arrive.
    uint32_t Attempt(uint8_t command, uint32_t len) {
        const sim::Answer a = unit_.Receive(command);
        if (a.fault != sim::Fault::Kind::None) ++fired_[a.fault];
        const uint64_t deadline = 10ull * len + timeoutMs_;
        if (a.bytes.empty() || a.delayMs > deadline) return 0;
        const uint32_t n = std::min<uint32_t>(len, static_cast<uint32_t>(a.bytes.size()));
        std::copy_n(a.bytes.begin(), n, reply_.begin());
        return n;
    }
    enum class Answered { Ack, Other, None };
    Answered AnsweredCmd(uint8_t command) {
        for (int i = 0; i < 4; ++i) {
            if (Attempt(command, 1) == 1)
                return reply_[0] == 0x06 ? Answered::Ack : Answered::Other;
        }
        return Answered::None;
    }
    bool Acknowledged(uint8_t command) {
        for (int i = 0; i < 4; ++i) {
            if (Attempt(command, 1) == 1 && reply_[0] == 0x06) return true;
        }
        return false;
    }
    bool Block(uint32_t len, uint8_t command) {
        for (int i = 0; i < 4; ++i) {
            if (Attempt(command, len) == len) return true;
        }
        return false;
    }

    // --- reports ----------------------------------------------------------
    bool Comm() {
        report_ = {"", "Communication error"};
        return false;
    }
    bool Banner(const char* banner) {
        report_ = {banner};
        return false;
    }
    // The banner and the description block: the table header (when there
    // is one) and the rows.
    bool Describe(const char* banner, const char* header, const std::vector<std::string>& rows) {
        report_ = {banner, "", kDescriptions};
        if (header != nullptr) report_.push_back(header);
        report_.insert(report_.end(), rows.begin(), rows.end());
        return false;
    }
    // The close of items 3 to 7: the report when any row failed, else the
    // EEPROM write.
    bool Close(int item, const char* banner, const char* header,
               const std::vector<std::string>& rows) {
        if (!rows.empty()) return Describe(banner, header, rows);
        judgedPass_[item] = true;
        return Write();
    }
    // An answered command: true on ACK, else the banner or the communication
    // error.
    bool Accepted(Answered answer, const char* banner) {
        if (answer == Answered::Other) return Banner(banner);
        if (answer == Answered::None) return Comm();
        return true;
    }
    template <typename... Args>
    static std::string Format(const char* format, Args... args) {
        char buffer[256] = {};
        std::snprintf(buffer, sizeof buffer, format, args...);
        return buffer;
    }

    // --- the items --------------------------------------------------------
    bool TwoStep(uint8_t first, const char* banner) {
        return Accepted(AnsweredCmd(first), banner) && Accepted(AnsweredCmd(0xB4), banner);
    }
    bool Erase() { return TwoStep(0xB6, kErase); }
    bool Write() { return TwoStep(0xB0, kWrite); }

    bool ReadLevers(std::array<uint8_t, 3>& v) {
        if (!Acknowledged(0xA7)) return Comm();
        if (!Block(12, 0x05) || !Block(16, 0x05) || !Block(30, 0x05)) return Comm();
        v = {reply_[8], reply_[9], reply_[10]};
        return true;
    }
    bool LeverUp() {
        std::array<uint8_t, 3> v{};
        if (!ReadLevers(v)) return false;
        up_ = {v[0] != 1, v[1] < 128, v[2] < 128};
        return true;
    }
    bool LeverDown() {
        std::array<uint8_t, 3> v{};
        if (!ReadLevers(v)) return false;
        const std::array<bool, 3> down{v[0] != 0, v[1] >= 128, v[2] >= 128};
        static constexpr const char* kNames[] = {"Back", "Left", "Right"};
        std::vector<std::string> rows;
        for (int i = 0; i < 3; ++i) {
            if (up_[i])
                rows.push_back(std::string(kNames[i]) + " lever sensor cannot be activated.");
        }
        for (int i = 0; i < 3; ++i) {
            if (down[i])
                rows.push_back(std::string(kNames[i]) + " lever sensor cannot be deactivated.");
        }
        return rows.empty() || Describe(kLever, nullptr, rows);
    }

    static uint8_t Bits6And4(uint8_t raw) {
        switch (raw >> 4) {
            case 0x4:
                return 1;
            case 0x1:
                return 2;
            case 0x5:
                return 3;
            default:
                return 0;
        }
    }

    bool White() {
        std::array<uint8_t, 8> regs{};
        for (int run = 0;; ++run) {
            if (!Acknowledged(0xA1)) return Comm();
            if (!Accepted(AnsweredCmd(0xC0), kResister)) return false;
            if (!Block(8, 0x05)) return Comm();
            std::copy_n(reply_.begin(), 8, regs.begin());
            const Answered confirm = AnsweredCmd(0xEE);
            if (confirm == Answered::None) return Comm();
            if (confirm == Answered::Ack) break;
            // A refused confirmation repeats the sequence, three times at most.
            if (run == 3) return Banner(kResister);
        }
        timeoutMs_ = 10000;
        const bool got = Block(31, 0xE0);
        timeoutMs_ = 2000;
        if (!got) return Comm();

        std::array<uint8_t, 14> ad{}, da{}, reg{};
        for (int s = 0; s < 12; ++s) {
            ad[s] = reply_[s];
            da[s] = reply_[15 + s];
        }
        ad[12] = reply_[27];
        ad[13] = reply_[28];
        da[12] = reply_[29];
        da[13] = reply_[30];
        reg[0] = regs[0] & 0x0F;
        reg[1] = (regs[0] >> 4) & 3;
        reg[2] = (regs[0] >> 6) & 3;
        reg[3] = regs[1] & 0x0F;
        reg[4] = (regs[1] >> 4) & 3;
        reg[5] = (regs[1] >> 6) & 3;
        reg[6] = regs[2] & 0x0F;
        reg[7] = regs[3] & 0x0F;
        reg[8] = Bits6And4(regs[4]);
        reg[9] = Bits6And4(regs[5]);
        reg[12] = Bits6And4(regs[6]);
        reg[13] = Bits6And4(regs[7]);

        static constexpr int kLo[14] = {62, 62, 62, 62, 62, 62, 152, 152, 152, 152, 54, 54, 50, 50};
        static constexpr int kHi[14] = {92,  92,  92,  92,  92,  92,  206,
                                        206, 206, 206, 100, 100, 104, 104};
        static constexpr const char* kNames[14] = {
            "Front Ir",  "Left Ir",   "Right Ir",   "Front Red", "Left Red",
            "Right Red", "Up Ir Ref", "Up Red Ref", "Dw Ir Ref", "Dw Red Ref",
            "M LRed",    "M RRed",    "Up Ir",      "Up Red"};
        std::vector<std::string> rows;
        for (int s = 0; s < 14; ++s) {
            if (da[s] >= 30 && ad[s] >= kLo[s] && ad[s] <= kHi[s]) continue;
            const int row = static_cast<int>(rows.size()) + 1;
            rows.push_back(s == 10 || s == 11
                               ? Format("%2d. %-11s (%3dp) (%3dp) ", row, kNames[s], da[s], ad[s])
                               : Format("%2d. %-11s (%3dp) (%3dp) (%2d) ", row, kNames[s], da[s],
                                        ad[s], reg[s]));
        }
        return Close(3, kWhite, "No.  Name        D/A    A/D    Reg", rows);
    }

    bool Black() {
        if (!Acknowledged(0xA2)) return Comm();
        if (!Block(4, 0x05)) return Comm();
        static constexpr const char* kNames[4] = {"Up Ir Ref", "Up Red Ref", "Dw Ir Ref",
                                                  "Dw Red Ref"};
        std::vector<std::string> rows;
        for (int i = 0; i < 4; ++i) {
            if (reply_[i] <= 102) continue;
            rows.push_back(Format("%2d. %-11s (%3dp) ", static_cast<int>(rows.size()) + 1,
                                  kNames[i], reply_[i]));
        }
        return Close(4, kBlack, "No.  Name        A/D", rows);
    }

    bool NonPaper() {
        if (!Acknowledged(0xA3)) return Comm();
        timeoutMs_ = 5000;
        const Answered resistor = AnsweredCmd(0xC1);
        timeoutMs_ = 2000;
        if (!Accepted(resistor, kResister)) return false;
        if (!Block(4, 0x05)) return Comm();
        std::array<uint8_t, 4> regs{};
        std::copy_n(reply_.begin(), 4, regs.begin());
        if (!Accepted(AnsweredCmd(0xEE), kResister)) return false;
        if (!Block(12, 0x05)) return Comm();

        const std::array<uint8_t, 10> reg{static_cast<uint8_t>(regs[0] & 0x0F),
                                          static_cast<uint8_t>((regs[0] >> 4) & 3),
                                          static_cast<uint8_t>((regs[0] >> 6) & 3),
                                          static_cast<uint8_t>(regs[1] & 0x0F),
                                          static_cast<uint8_t>((regs[1] >> 4) & 3),
                                          static_cast<uint8_t>((regs[1] >> 6) & 3),
                                          0,
                                          0,
                                          Bits6And4(regs[2]),
                                          Bits6And4(regs[3])};
        static constexpr const char* kNames[10] = {"Front Ir", "Left Ir",   "Right Ir", "Front Red",
                                                   "Left Red", "Right Red", "M LRed",   "M RRed",
                                                   "Up Ir",    "Up Red"};
        std::vector<std::string> rows;
        for (int r = 0; r < 10; ++r) {
            const int lo = r == 6 || r == 7 ? 28 : 51;
            if (reply_[r] >= lo && reply_[r] <= 153) continue;
            const int row = static_cast<int>(rows.size()) + 1;
            rows.push_back(
                r == 6 || r == 7
                    ? Format("%2d. %-11s (%3dp) ", row, kNames[r], reply_[r])
                    : Format("%2d. %-11s (%3dp) (%2d) ", row, kNames[r], reply_[r], reg[r]));
        }
        return Close(5, kNonPaper, "No.  Name        A/D    Reg", rows);
    }

    bool MagStart(uint8_t& peak) {
        if (!Acknowledged(0xA4)) return Comm();
        if (!Block(2, 0x05)) return Comm();
        peak = reply_[0];
        return true;
    }
    bool Mag() {
        uint8_t peak = 0;
        if (!MagStart(peak)) return false;
        for (MagAction action : plan_.magActions) {
            if (action == MagAction::Clear) {
                if (!MagStart(peak)) return false;
            } else {
                if (!Block(2, 0x05)) return Comm();
                peak = reply_[0];
            }
        }
        // The last peak sample is judged, not the held maximum.
        std::vector<std::string> rows;
        if (peak < 46 || peak > 70) rows.push_back(Format(" A/D   %3dp ", peak));
        return Close(6, kMag, nullptr, rows);
    }

    bool Motor() {
        timeoutMs_ = 5000;
        const bool got = Block(1, 0xA6);
        timeoutMs_ = 2000;
        if (!got) return Comm();
        const uint8_t speed = reply_[0];
        std::vector<std::string> rows;
        if (speed < 89 || speed > 121) rows.push_back(Format(" Moter speed   %3d ", speed));
        return Close(7, kMotor, nullptr, rows);
    }

    const HostilePlan& plan_;
    sim::SimUnit unit_;
    uint16_t timeoutMs_ = 2000;
    std::array<uint8_t, 32> reply_{};
    std::vector<std::string> report_;
    std::array<bool, 3> up_{};
    std::array<bool, 8> judgedPass_{};
    std::map<sim::Fault::Kind, uint32_t> fired_;
};

}  // namespace zul::test
