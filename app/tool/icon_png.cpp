// zul10-icon-png SIZE FILE: writes the program's icon, size x size pixels, as
// a PNG file. zul10-icon-png ico FILE: writes it as a Windows icon holding
// the sizes the shell asks for (16 to 256, each a PNG). The build makes the
// installed icons with it, so the window, the desktop menu and the Windows
// program show the same picture.

#include <QBuffer>
#include <QByteArray>
#include <QFile>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/Logo.h"

namespace {

void PutLe(QByteArray& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// An icon file: its directory (type 1, one entry a size) and then each
// image as a PNG, which the shell takes since Windows Vista.
bool WriteIco(const QString& path) {
    constexpr std::array<int, 6> kSizes{16, 24, 32, 48, 64, 256};
    std::array<QByteArray, kSizes.size()> images;
    for (size_t i = 0; i < kSizes.size(); ++i) {
        QBuffer buffer(&images[i]);
        buffer.open(QIODevice::WriteOnly);
        if (!zul::DrawProgramIcon(kSizes[i]).save(&buffer, "PNG")) return false;
    }
    QByteArray out;
    PutLe(out, 0, 2);  // reserved
    PutLe(out, 1, 2);  // an icon
    PutLe(out, kSizes.size(), 2);
    uint32_t offset = static_cast<uint32_t>(6 + 16 * kSizes.size());
    for (size_t i = 0; i < kSizes.size(); ++i) {
        const uint32_t side = kSizes[i] >= 256 ? 0 : static_cast<uint32_t>(kSizes[i]);
        PutLe(out, side, 1);  // width (0: 256)
        PutLe(out, side, 1);  // height
        PutLe(out, 0, 1);     // no palette
        PutLe(out, 0, 1);     // reserved
        PutLe(out, 1, 2);     // planes
        PutLe(out, 32, 2);    // bits a pixel
        PutLe(out, static_cast<uint32_t>(images[i].size()), 4);
        PutLe(out, offset, 4);
        offset += static_cast<uint32_t>(images[i].size());
    }
    for (const QByteArray& image : images) out.append(image);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("Usage: zul10-icon-png SIZE FILE | zul10-icon-png ico FILE\n", stderr);
        return 2;
    }
    const QString file = QString::fromLocal8Bit(argv[2]);
    if (std::string(argv[1]) == "ico") {
        if (!WriteIco(file)) {
            std::fprintf(stderr, "zul10-icon-png: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    const int size = std::atoi(argv[1]);
    if (size < 16 || size > 512) {
        std::fprintf(stderr, "zul10-icon-png: bad size '%s'\n", argv[1]);
        return 2;
    }
    if (!zul::DrawProgramIcon(size).save(file, "PNG")) {
        std::fprintf(stderr, "zul10-icon-png: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
