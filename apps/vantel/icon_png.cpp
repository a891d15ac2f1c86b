// Writes the window's icon as PNGs for the desktop's icon theme, so the
// installed icons and the window's own are always the same picture.
//
//     vantel_icon_png SIZE FILE [SIZE FILE]...
//
// A larger size repeats pixels (nearest neighbour) instead of blending them:
// the 16-colour picture stays crisp and gains no colours at its edges.
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <charconv>
#include <iostream>
#include <string_view>

#include "ui/app_icon.h"

namespace {

constexpr int kLargestSize = 1024;

QImage pixelScaled(const QImage& picture, int size) {
    const QImage from = picture.convertToFormat(QImage::Format_ARGB32);
    QImage to(size, size, QImage::Format_ARGB32);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            to.setPixel(x, y, from.pixel(x * from.width() / size, y * from.height() / size));
        }
    }
    return to;
}

bool readSize(std::string_view text, int& size) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
    return error == std::errc() && end == text.data() + text.size() && size >= 1 && size <= kLargestSize;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc % 2 == 0) {
        std::cerr << "usage: vantel_icon_png SIZE FILE [SIZE FILE]...\n";
        return 2;
    }
    const QImage picture = vantel::ui::appIconImage();
    if (picture.isNull()) {
        std::cerr << "vantel_icon_png: the window's icon could not be read\n";
        return 1;
    }
    for (int i = 1; i + 1 < argc; i += 2) {
        int size = 0;
        if (!readSize(argv[i], size)) {
            std::cerr << "vantel_icon_png: bad size '" << argv[i] << "': use 1 to " << kLargestSize << '\n';
            return 2;
        }
        const QString file = QString::fromLocal8Bit(argv[i + 1]);
        if (!QDir().mkpath(QFileInfo(file).path()) || !pixelScaled(picture, size).save(file, "PNG")) {
            std::cerr << "vantel_icon_png: cannot write " << argv[i + 1] << '\n';
            return 1;
        }
    }
    return 0;
}
