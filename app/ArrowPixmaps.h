#pragma once

#include <QPixmap>

// The arrows of the mag legend, drawn in code: black on light grey.
enum class ArrowKind { Left, Right, Both };

// Left and Right: 39 x 18 pixels; Both: 62 x 18 pixels.
QPixmap ArrowPixmap(ArrowKind kind);
