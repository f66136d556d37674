#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zul::test {

// The idle screen.
inline const std::vector<std::string> kIdleScreen = {"ZUL-1x Adjustment Program",
                                                     "Start Calibration --> Click Start",
                                                     "Exit              --> Click Exit"};

// The result area after the click at step.
struct ScreenAfter {
    int16_t step;
    std::vector<std::string> lines;
};

// Every screen of a good run, from the click at 0 to the one at 11.
inline const std::vector<ScreenAfter> kGoodRunScreens = {
    {0,
     {"*** 1.Eeprom Erasing ***", "Erasing EEPROM...... ----> Erasing Complete", "", "Click Next"}},
    {1, {"Insert the paper.", "", "Click Next"}},
    {2, {"*** 2.Lever sensor check ***", "Remove the paper.", "", "Click Next"}},
    {3, {"Insert the white reference paper(RF-271).", "", "Click Next"}},
    {4,
     {"*** 3.White level adjustment ***", "Remove the white reference paper(RF-271).", "",
      "Click Next"}},
    {5, {"Insert the black reference paper(RF-272).", "", "Click Next"}},
    {6,
     {"*** 4.Black level adjustment ***", "Remove the black reference paper(RF-272).", "",
      "Click Next"}},
    {7, {"Insert the mag board.", "", "Click Next"}},
    {8,
     {"*** 6.Mag adjustment ***", " MAG A/D Peak Adjustment", "",
      "Find the position where both \"Peak Value\" and \"A/D\" enter",
      "the range between 46P and 70P.", "Hold the mag board in the position and click Next", "",
      "To clear the mag peak value, click Clear"}},
    {9, {"*** 6.Mag adjustment ***", "Remove the mag board.", "", "Click Next"}},
    {10,
     {"**** COMPLETE ****", "Repeat calibration ---> Click Next",
      "Exit               ---> Click Exit"}},
    {11, {"Change acceptor unit.", "", "Click Start"}},
};

}  // namespace zul::test
