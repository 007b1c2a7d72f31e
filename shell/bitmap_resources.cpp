#include "bitmap_resources.h"

// The bitmaps live in the shell's static library, whose resource
// registration the linker would otherwise drop.
static void initBitmapResources() { Q_INIT_RESOURCE(bitmaps); }

namespace fernwise {

QImage loadBitmapResource(const QString& name) {
    initBitmapResources();
    QImage image(QStringLiteral(":/bitmaps/") + name, "BMP");
    if (image.isNull() || image.format() != QImage::Format_Indexed8) return {};
    return image;
}

PaletteTable bitmapColorTable(const QImage& image) {
    PaletteTable table{};
    const QList<QRgb> colors = image.colorTable();
    for (qsizetype i = 0; i < colors.size() && i < paletteSize; ++i) {
        const QRgb c = colors[i];
        table[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>(qRed(c)), static_cast<std::uint8_t>(qGreen(c)),
                                              static_cast<std::uint8_t>(qBlue(c))};
    }
    return table;
}

}  // namespace fernwise
