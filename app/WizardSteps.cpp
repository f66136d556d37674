#include "app/WizardSteps.h"

#include "adjust/BlackLevel.h"
#include "adjust/Eeprom.h"
#include "adjust/LeverCheck.h"
#include "adjust/MotorSpeed.h"
#include "adjust/NonPaper.h"
#include "adjust/WhiteLevel.h"
#include "app/Wizard.h"

namespace zul {

namespace {

constexpr std::string_view kErasing[] = {"*** 1.Eeprom Erasing ***", "Erasing EEPROM......"};
constexpr std::string_view kErased[] = {
    "*** 1.Eeprom Erasing ***", "Erasing EEPROM...... ----> Erasing Complete", "", "Click Next"};

constexpr std::string_view kInsertPaper[] = {"Insert the paper.", "", "Click Next"};

constexpr std::string_view kCheckingUp[] = {"*** 2.Lever sensor check ***",
                                            "Checking the up lever......"};
constexpr std::string_view kRemovePaper[] = {"*** 2.Lever sensor check ***", "Remove the paper.",
                                             "", "Click Next"};
constexpr std::string_view kCheckingDown[] = {"*** 2.Lever sensor check ***",
                                              "Checking the down lever......"};
constexpr std::string_view kInsertWhite[] = {"Insert the white reference paper(RF-271).", "",
                                             "Click Next"};

constexpr std::string_view kCalibratingWhite[] = {"*** 3.White level adjustment ***",
                                                  "Calibrating......"};
constexpr std::string_view kRemoveWhite[] = {"*** 3.White level adjustment ***",
                                             "Remove the white reference paper(RF-271).", "",
                                             "Click Next"};
constexpr std::string_view kInsertBlack[] = {"Insert the black reference paper(RF-272).", "",
                                             "Click Next"};

constexpr std::string_view kCalibratingBlack[] = {"*** 4.Black level adjustment ***",
                                                  "Calibrating......"};
constexpr std::string_view kRemoveBlack[] = {"*** 4.Black level adjustment ***",
                                             "Remove the black reference paper(RF-272).", "",
                                             "Click Next"};

constexpr std::string_view kCalibratingNonPaper[] = {"*** 5.Non paper adjustment ***",
                                                     "Calibrating......"};
constexpr std::string_view kInsertMag[] = {"Insert the mag board.", "", "Click Next"};

constexpr std::string_view kCheckingMotor[] = {"*** 7.Moter speed check ***",
                                               "Checking moter speed......"};
constexpr std::string_view kComplete[] = {"**** COMPLETE ****",
                                          "Repeat calibration ---> Click Next",
                                          "Exit               ---> Click Exit"};

constexpr std::string_view kChangeUnit[] = {"Change acceptor unit.", "", "Click Start"};

// Indexed by AdjStep, 0 to 11.
constexpr WizardRow kRows[] = {
    {.step = 0,
     .atClick = kBeginRun,
     .currentAtClick = 1,
     .shown = kErasing,
     .item = EepromErase,
     .doneOnSuccess = 1,
     .success = kErased},
    {.step = 1, .shown = kInsertPaper},
    {.step = 2,
     .currentAtClick = 2,
     .shown = kCheckingUp,
     .item = CheckLeverUp,
     .itemGoesOn = true,
     .success = kRemovePaper},
    {.step = 3,
     .shown = kCheckingDown,
     .item = CheckLeverDown,
     .doneOnSuccess = 2,
     .success = kInsertWhite},
    {.step = 4,
     .currentAtClick = 3,
     .shown = kCalibratingWhite,
     .item = AdjustWhiteLevel,
     .success = kRemoveWhite},
    {.step = 5, .doneAtClick = 3, .shown = kInsertBlack},
    {.step = 6,
     .currentAtClick = 4,
     .shown = kCalibratingBlack,
     .item = AdjustBlackLevel,
     .success = kRemoveBlack},
    {.step = 7,
     .doneAtClick = 4,
     .currentAtClick = 5,
     .shown = kCalibratingNonPaper,
     .item = AdjustNonPaper,
     .doneOnSuccess = 5,
     .success = kInsertMag},
    {.step = 8, .handler = &Wizard::RunMagStart},
    {.step = 9, .handler = &Wizard::RunMagEnd},
    {.step = 10,
     .doneAtClick = 6,
     .atClick = kDisableMagGroup,
     .currentAtClick = 7,
     .shown = kCheckingMotor,
     .item = CheckMotorSpeed,
     .doneOnSuccess = 7,
     .onSuccess = kExitCaption,
     .success = kComplete},
    {.step = 11, .shown = kChangeUnit, .onSuccess = kEndRun},
};

}  // namespace

const WizardRow* FindWizardRow(int16_t step) {
    for (const WizardRow& row : kRows) {
        if (row.step == step) return &row;
    }
    return nullptr;
}

}  // namespace zul
