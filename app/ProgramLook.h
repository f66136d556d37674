#pragma once

namespace zul {

// The program's look, as every one of its windows shows it: the "Windows"
// style, and Arial at 12 pixels as the application's font (the window
// definitions name the families and sizes of their own controls). Call once
// the QApplication is made, before any window is.
void UseProgramLook();

}  // namespace zul
