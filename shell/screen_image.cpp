#include "screen_image.h"

#include <QList>

namespace fernwise {

QImage screenImage(const VirtualScreen& screen) {
    const auto bytesPerLine = static_cast<qsizetype>(screen.bytesPerLine());
    if (screen.format() == PixelFormat::Rgb32) {
        return QImage(screen.bits(), screen.width(), screen.height(), bytesPerLine, QImage::Format_RGB32);
    }
    QImage image(screen.bits(), screen.width(), screen.height(), bytesPerLine, QImage::Format_Indexed8);
    QList<QRgb> colors;
    colors.reserve(paletteSize);
    for (const Rgb& c : screen.shownColors()) colors.push_back(qRgb(c.red, c.green, c.blue));
    image.setColorTable(colors);
    return image;
}

}  // namespace fernwise
