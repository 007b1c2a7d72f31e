#include "virtual_screen.h"

#include <algorithm>
#include <new>

namespace fernwise {

std::unique_ptr<VirtualScreen> VirtualScreen::create(int width, int height, PixelFormat format) {
    if (width <= 0 || height <= 0) return nullptr;
    const std::size_t bytesPerPixel = format == PixelFormat::Indexed8 ? 1 : 4;
    const std::size_t stride = (static_cast<std::size_t>(width) * bytesPerPixel + 3) / 4 * 4;
    try {
        std::unique_ptr<VirtualScreen> screen(new VirtualScreen(width, height, format, stride));
        screen->clear();
        return screen;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

VirtualScreen::VirtualScreen(int width, int height, PixelFormat format, std::size_t stride)
    : width_(width),
      height_(height),
      format_(format),
      stride_(stride),
      pixels_(stride * static_cast<std::size_t>(height)) {}

void VirtualScreen::fillBlack(int x0, int y0, int x1, int y1) {
    x0 = std::clamp(x0, 0, width_);
    x1 = std::clamp(x1, 0, width_);
    y0 = std::clamp(y0, 0, height_);
    y1 = std::clamp(y1, 0, height_);
    for (int y = y0; y < y1; ++y) {
        if (format_ == PixelFormat::Indexed8) {
            std::fill(indexRow(y) + x0, indexRow(y) + x1, staticBlackIndex);
        } else {
            std::fill(rgbRow(y) + x0, rgbRow(y) + x1, packRgb(Rgb{}));
        }
    }
}

Rgb VirtualScreen::pixel(int x, int y) const {
    if (format_ == PixelFormat::Indexed8) return shownColors_[indexAt(x, y)];
    return unpackRgb(rgbRow(y)[x]);
}

void VirtualScreen::realize(const LogicalPalette& logical) {
    const std::size_t count = std::min<std::size_t>(logical.entries.size(), staticBlackIndex);
    for (std::size_t i = 0; i < count; ++i) shownColors_[i] = logical.entries[i].rgb();
}

void VirtualScreen::animate(int first, int count, const PaletteEntry* colors) {
    for (int i = 0; i < count; ++i) {
        int entry = first + i;
        if (entry >= 0 && entry < staticBlackIndex) shownColors_[static_cast<std::size_t>(entry)] = colors[i].rgb();
    }
}

}  // namespace fernwise
