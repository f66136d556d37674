#pragma once

#include <QIcon>
#include <QPixmap>

namespace zul {

// The maker's logo shown in the version dialog: 90 x 45 pixels, 24-bit
// colour, drawn in code.
QPixmap DrawLogo();

// The program's own 32 x 32 icon in the 16 basic colours: a banknote going
// into a validator slot. Set once for the application's windows.
QIcon ProgramIcon();

}  // namespace zul
