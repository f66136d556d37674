// zul10-icon-png SIZE FILE: writes the program's icon, size x size pixels, as
// a PNG file. The build makes the installed icons with it, so the window and
// the desktop menu show the same picture.

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/Logo.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("Usage: zul10-icon-png SIZE FILE\n", stderr);
        return 2;
    }
    const int size = std::atoi(argv[1]);
    if (size < 16 || size > 512) {
        std::fprintf(stderr, "zul10-icon-png: bad size '%s'\n", argv[1]);
        return 2;
    }
    if (!zul::DrawProgramIcon(size).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "zul10-icon-png: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
