#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "palette.h"

namespace fernwise {

// Non-negative random numbers below 2^31, the form the plasma draws. Injected
// so that a test can replay a run.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual std::int32_t next() = 0;
};

// The plasma window's generator; the window seeds it with the time in
// seconds, a test with a fixed number.
class SeededRandom : public RandomSource {
public:
    explicit SeededRandom(std::uint32_t seed) : engine_(seed) {}
    std::int32_t next() override { return static_cast<std::int32_t>(engine_() >> 1); }

private:
    std::mt19937 engine_;
};

inline constexpr int plasmaFieldWidth = 320;
inline constexpr int plasmaFieldHeight = 240;
// The plasma only ever writes 1..235.
inline constexpr int plasmaLowestIndex = 1;
inline constexpr int plasmaHighestIndex = 235;
// What pixelIndexAt gives for a colour none of entries 0..235 has.
inline constexpr std::int32_t noMatchingEntry = 236;

// The built-in plasma palette in 6-bit units.
const Palette6& plasmaPalette();

// The plasma field as palette indices with an explicit unset marker, in place
// of a window whose pixels are read back. Reading a pixel gives what reading
// the window would give: the lowest of palette entries 0..235 whose colour
// equals the colour the pixel shows, or 236 when none does; an unset pixel
// shows the white window background.
class PlasmaField {
public:
    static constexpr std::uint8_t unset = 0;

    explicit PlasmaField(int width = plasmaFieldWidth, int height = plasmaFieldHeight);

    int width() const { return width_; }
    int height() const { return height_; }

    // `shown[v]` is the colour a pixel set to index v shows; `entries` are the
    // palette entries the read-back searches.
    void setReadBack(const PaletteTable& shown, const PaletteEntries& entries);

    bool isSet(int x, int y) const { return at(x, y) != unset; }
    // The index the pixel was set to, or `unset`.
    std::uint8_t valueAt(int x, int y) const { return at(x, y); }
    // pixelIndexAt on this field.
    std::int32_t indexAt(int x, int y) const;
    void set(int x, int y, std::int32_t index) { at(x, y) = static_cast<std::uint8_t>(index); }
    const std::uint8_t* row(int y) const { return values_.data() + static_cast<std::size_t>(y) * width_; }

    // The whole drawing: the four corners, then the subdivision of the field.
    void draw(RandomSource& random);
    // Midpoint displacement of the rectangle with corners (x1, y1), (x2, y2).
    void subdivide(int x1, int y1, int x2, int y2, RandomSource& random);

private:
    std::uint8_t& at(int x, int y) { return values_[static_cast<std::size_t>(y) * width_ + x]; }
    std::uint8_t at(int x, int y) const { return values_[static_cast<std::size_t>(y) * width_ + x]; }
    void setIfUnset(int x, int y, std::int32_t index);

    int width_;
    int height_;
    std::vector<std::uint8_t> values_;
    std::array<std::int32_t, paletteSize> readBack_{};
    std::int32_t unsetReadBack_ = noMatchingEntry;
};

}  // namespace fernwise
