#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace zul {

// The maker's logo shown in the version dialog: 90 x 45 pixels, 24-bit
// colour, drawn in code.
QPixmap DrawLogo();

// The program's own icon in the 16 basic colours: a banknote going into a
// validator slot, drawn on a 32 x 32 grid and scaled to size x size pixels.
QImage DrawProgramIcon(int size);

// The 32 x 32 icon, set once for the application's windows.
QIcon ProgramIcon();

}  // namespace zul
