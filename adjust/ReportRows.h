#pragma once

#include <string>

namespace zul {

// The lines of the description tables. Each is formatted by the printf rules
// into a cleared 256-character buffer; every format ends in a blank that is
// part of the line. Values are printed as the unsigned bytes they are.

// "%2d. %-11s (%3dp) (%3dp) (%2d) ": row, name, D/A, A/D, register.
std::string DaAdRegRow(int row, const char* name, int da, int ad, int reg);
// "%2d. %-11s (%3dp) (%3dp) ": row, name, D/A, A/D.
std::string DaAdRow(int row, const char* name, int da, int ad);
// "%2d. %-11s (%3dp) (%2d) ": row, name, A/D, register.
std::string AdRegRow(int row, const char* name, int ad, int reg);
// "%2d. %-11s (%3dp) ": row, name, A/D.
std::string AdRow(int row, const char* name, int ad);
// " A/D   %3dp ": the mag peak sample.
std::string MagAdLine(int value);
// " Moter speed   %3d ": the motor speed.
std::string MotorSpeedLine(int value);

}  // namespace zul
