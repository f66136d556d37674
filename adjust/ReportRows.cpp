#include "adjust/ReportRows.h"

#include <array>
#include <cstdarg>
#include <cstdio>

namespace zul {

namespace {

constexpr std::size_t kLineBufferSize = 256;

// Formats into a cleared buffer; every caller passes a literal format.
[[gnu::format(printf, 1, 2)]] std::string Format(const char* format, ...) {
    std::array<char, kLineBufferSize> buffer{};
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    va_end(args);
    return std::string(buffer.data());
}

}  // namespace

std::string DaAdRegRow(int row, const char* name, int da, int ad, int reg) {
    return Format("%2d. %-11s (%3dp) (%3dp) (%2d) ", row, name, da, ad, reg);
}

std::string DaAdRow(int row, const char* name, int da, int ad) {
    return Format("%2d. %-11s (%3dp) (%3dp) ", row, name, da, ad);
}

std::string AdRegRow(int row, const char* name, int ad, int reg) {
    return Format("%2d. %-11s (%3dp) (%2d) ", row, name, ad, reg);
}

std::string AdRow(int row, const char* name, int ad) {
    return Format("%2d. %-11s (%3dp) ", row, name, ad);
}

std::string MagAdLine(int value) {
    return Format(" A/D   %3dp ", value);
}

std::string MotorSpeedLine(int value) {
    return Format(" Moter speed   %3d ", value);
}

}  // namespace zul
