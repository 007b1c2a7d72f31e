// Renders the splash and About pictures with the program's own engine and
// writes them as 8-bit BMP files with 256-entry colour tables.

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "plot_driver.h"

namespace {

using namespace fernwise;

constexpr std::uint8_t shadowIndex = 254;
constexpr std::uint8_t textIndex = 255;

struct Picture {
    int width;
    int height;
    std::vector<std::uint8_t> indices;
    PaletteTable colors;
};

// The fractal part: palette indices as the plot colours them, kept below the
// two entries reserved for the lettering.
Picture renderFractal(FractalType type, FractalParams params, int width, int height) {
    Picture picture{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height), {}};
    RenderRequest request;
    request.type = type;
    request.params = params;
    request.width = width;
    request.height = height;
    PaletteState palette;
    loadPalette6(palette.table, defaultPalette());
    buildLogicalPalette(palette);
    auto screen = VirtualScreen::create(width, height, PixelFormat::Rgb32);
    renderImage(request, *screen, palette, picture.indices.data());
    for (auto& index : picture.indices) {
        if (index >= shadowIndex) index = static_cast<std::uint8_t>(index - 32);
    }
    picture.colors = palette.table;
    picture.colors[shadowIndex] = {12, 8, 28};
    picture.colors[textIndex] = {255, 255, 255};
    return picture;
}

// Letters in white over a one-pixel dark shadow, centred on `baseline`.
void letter(Picture& picture, const QString& text, int pixelSize, int baseline, bool bold) {
    QImage mask(picture.width, picture.height, QImage::Format_Grayscale8);
    mask.fill(0);
    QPainter painter(&mask);
    QFont font("DejaVu Sans");
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    painter.setFont(font);
    painter.setPen(Qt::white);
    const int textWidth = painter.fontMetrics().horizontalAdvance(text);
    painter.drawText((picture.width - textWidth) / 2, baseline, text);
    painter.end();
    auto at = [&](int x, int y) { return qGray(mask.pixel(x, y)) >= 128; };
    std::vector<std::uint8_t> out = picture.indices;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            auto& pixel = out[static_cast<std::size_t>(y) * picture.width + x];
            if (at(x, y)) {
                pixel = textIndex;
            } else {
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        int sx = x + dx, sy = y + dy;
                        if (sx >= 0 && sy >= 0 && sx < picture.width && sy < picture.height && at(sx, sy)) {
                            pixel = shadowIndex;
                        }
                    }
                }
            }
        }
    }
    picture.indices = out;
}

void put16(std::vector<std::uint8_t>& b, std::uint32_t v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
    put16(b, v & 0xffff);
    put16(b, v >> 16);
}

// Bottom-up 8-bit BMP with a BITMAPINFOHEADER and all 256 colours.
bool writeBmp(const std::string& path, const Picture& p) {
    const std::uint32_t stride = (static_cast<std::uint32_t>(p.width) + 3) / 4 * 4;
    const std::uint32_t imageBytes = stride * static_cast<std::uint32_t>(p.height);
    const std::uint32_t offset = 14 + 40 + 256 * 4;
    std::vector<std::uint8_t> b;
    b.push_back('B');
    b.push_back('M');
    put32(b, offset + imageBytes);
    put32(b, 0);
    put32(b, offset);
    put32(b, 40);
    put32(b, static_cast<std::uint32_t>(p.width));
    put32(b, static_cast<std::uint32_t>(p.height));
    put16(b, 1);
    put16(b, 8);
    put32(b, 0);  // no compression
    put32(b, imageBytes);
    put32(b, 2835);  // 72 dpi
    put32(b, 2835);
    put32(b, 256);
    put32(b, 0);
    for (const Rgb& c : p.colors) {
        b.push_back(c.blue);
        b.push_back(c.green);
        b.push_back(c.red);
        b.push_back(0);
    }
    for (int y = p.height - 1; y >= 0; --y) {
        const auto* row = p.indices.data() + static_cast<std::size_t>(y) * p.width;
        b.insert(b.end(), row, row + p.width);
        b.insert(b.end(), stride - static_cast<std::uint32_t>(p.width), 0);
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
    return static_cast<bool>(out);
}

FractalParams window(FractalType type, double xmin, double xmax, double ymin, double ymax, int iterations) {
    FractalParams p = defaultParams(type);
    p.xmin = xmin;
    p.xmax = xmax;
    p.ymin = ymin;
    p.ymax = ymax;
    p.iterations = iterations;
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const std::string folder = argc > 1 ? argv[1] : ".";

    // Opening: the valley between the main body and the large bulb.
    Picture opening = renderFractal(FractalType::Mandelbrot,
                                    window(FractalType::Mandelbrot, -0.775, -0.725, 0.085, 0.135, 400), 240, 240);
    letter(opening, "Fernwise", 38, 190, true);
    letter(opening, "Studio", 26, 222, true);

    // Closing: a Julia set of the type's own default parameters.
    FractalParams julia = window(FractalType::Julia, -1.5, 1.5, -1.5, 1.5, 128);
    julia.param1 = -0.8;
    julia.param2 = 0.156;
    Picture closing = renderFractal(FractalType::Julia, julia, 240, 240);
    letter(closing, "Fernwise Studio", 24, 36, true);
    letter(closing, "Goodbye", 22, 222, false);

    // About: a small Mandelbrot with the name and the version.
    Picture about =
        renderFractal(FractalType::Mandelbrot, window(FractalType::Mandelbrot, -2.2, 0.8, -1.8, 1.8, 64), 166, 200);
    letter(about, "Fernwise", 28, 36, true);
    letter(about, "Studio", 22, 62, true);
    letter(about, "Fractal explorer", 13, 172, false);
    letter(about, "Version 0.1", 13, 190, false);

    bool ok = writeBmp(folder + "/splash1.bmp", opening) && writeBmp(folder + "/splash2.bmp", closing) &&
              writeBmp(folder + "/about.bmp", about);
    if (!ok) std::fprintf(stderr, "make_bitmaps: cannot write into %s\n", folder.c_str());
    return ok ? 0 : 1;
}
