#pragma once

#include <QIcon>
#include <QPixmap>

// The pictures of the main window, drawn in code: black arrows on light grey
// for the mag legend, and the program icon.
enum class ArrowKind { Left, Right, Both };

// Left and Right: 39 x 18 pixels; Both: 62 x 18 pixels.
QPixmap ArrowPixmap(ArrowKind kind);

// The 32 x 32 program icon.
QIcon ProgramIcon();
