#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "palette.h"

namespace fernwise {

enum class PixelFormat { Indexed8, Rgb32 };

// The off-screen image every plot is drawn into: palette indices on a
// palette-based display, colours otherwise. Row 0 is the top row.
//
// In Indexed8 form the screen also holds the colours its indices show (the
// emulated hardware palette): reading a pixel gives the colour shown now, so
// animating the palette recolours the image without touching a pixel.
class VirtualScreen {
public:
    // Index that the black fill writes in Indexed8 form: a static colour
    // outside the 236 animated logical entries, always black.
    static constexpr std::uint8_t staticBlackIndex = 255;

    // nullptr when the memory cannot be had.
    static std::unique_ptr<VirtualScreen> create(int width, int height, PixelFormat format);

    int width() const { return width_; }
    int height() const { return height_; }
    PixelFormat format() const { return format_; }
    // Bytes from one row to the next; a multiple of 4 in both forms.
    std::size_t bytesPerLine() const { return stride_; }
    std::uint8_t* bits() { return pixels_.data(); }
    const std::uint8_t* bits() const { return pixels_.data(); }

    // Fills the rectangle [x0, x1) x [y0, y1), clipped, with black.
    void fillBlack(int x0, int y0, int x1, int y1);
    void clear() { fillBlack(0, 0, width_, height_); }

    // Indexed8 only.
    void setIndex(int x, int y, std::uint8_t index) { indexRow(y)[x] = index; }
    std::uint8_t indexAt(int x, int y) const { return indexRow(y)[x]; }
    std::uint8_t* indexRow(int y) { return pixels_.data() + static_cast<std::size_t>(y) * stride_; }
    const std::uint8_t* indexRow(int y) const { return pixels_.data() + static_cast<std::size_t>(y) * stride_; }

    // Rgb32 only; a pixel is 0xffRRGGBB.
    void setRgb(int x, int y, Rgb color) { rgbRow(y)[x] = packRgb(color); }
    std::uint32_t* rgbRow(int y) { return reinterpret_cast<std::uint32_t*>(indexRow(y)); }
    const std::uint32_t* rgbRow(int y) const { return reinterpret_cast<const std::uint32_t*>(indexRow(y)); }

    // The colour shown at a pixel, in either form.
    Rgb pixel(int x, int y) const;

    // The colours behind the indices of an Indexed8 screen.
    const std::array<Rgb, paletteSize>& shownColors() const { return shownColors_; }
    // Realizes a logical palette: entries 0..count-1 show its colours.
    void realize(const LogicalPalette& logical);
    // Animates `count` entries from `first` (the platform's palette animation).
    void animate(int first, int count, const PaletteEntry* colors);

    static std::uint32_t packRgb(Rgb c) {
        return 0xff000000u | (std::uint32_t{c.red} << 16) | (std::uint32_t{c.green} << 8) | c.blue;
    }
    static Rgb unpackRgb(std::uint32_t v) {
        return {static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)};
    }

private:
    VirtualScreen(int width, int height, PixelFormat format, std::size_t stride);

    int width_;
    int height_;
    PixelFormat format_;
    std::size_t stride_;
    std::vector<std::uint8_t> pixels_;
    std::array<Rgb, paletteSize> shownColors_{};
};

}  // namespace fernwise
