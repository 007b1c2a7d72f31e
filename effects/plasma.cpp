#include "plasma.h"

namespace fernwise {
namespace {

// Blue through magenta and red to yellow, green and back toward blue-green
// over the animated entries; entry 0 is black and no entry is white.
constexpr Palette6 plasmaPaletteTable{{
    {0, 0, 0},    {0, 18, 52},  {0, 16, 53},  {0, 15, 53},  {0, 14, 54},  {0, 12, 55},  {0, 11, 56},  {0, 10, 57},
    {0, 8, 58},   {0, 7, 58},   {0, 6, 59},   {0, 4, 60},   {0, 3, 61},   {0, 2, 62},   {0, 0, 63},   {1, 0, 62},
    {2, 0, 61},   {3, 0, 60},   {4, 0, 59},   {5, 0, 58},   {6, 0, 57},   {7, 0, 56},   {8, 0, 55},   {9, 0, 54},
    {10, 0, 53},  {11, 0, 52},  {12, 0, 51},  {13, 0, 50},  {14, 0, 49},  {15, 0, 48},  {16, 0, 47},  {17, 0, 46},
    {18, 0, 45},  {19, 0, 44},  {20, 0, 43},  {21, 0, 42},  {22, 0, 41},  {23, 0, 40},  {24, 0, 39},  {25, 0, 38},
    {26, 0, 37},  {27, 0, 36},  {28, 0, 35},  {29, 0, 34},  {30, 0, 33},  {32, 0, 31},  {33, 0, 30},  {34, 0, 29},
    {35, 0, 28},  {36, 0, 27},  {37, 0, 26},  {38, 0, 25},  {39, 0, 24},  {40, 0, 23},  {41, 0, 22},  {42, 0, 21},
    {43, 0, 20},  {44, 0, 19},  {45, 0, 18},  {46, 0, 17},  {47, 0, 16},  {48, 0, 15},  {49, 0, 14},  {50, 0, 13},
    {51, 0, 12},  {52, 0, 11},  {53, 0, 10},  {54, 0, 9},   {55, 0, 8},   {56, 0, 7},   {57, 0, 6},   {58, 0, 5},
    {59, 0, 4},   {60, 0, 3},   {61, 0, 2},   {63, 0, 0},   {63, 1, 0},   {63, 2, 0},   {63, 3, 0},   {63, 4, 0},
    {63, 5, 0},   {63, 6, 0},   {63, 7, 0},   {63, 8, 0},   {63, 9, 0},   {63, 10, 0},  {63, 11, 0},  {63, 12, 0},
    {63, 13, 0},  {63, 14, 0},  {63, 15, 0},  {63, 16, 0},  {63, 17, 0},  {63, 18, 0},  {63, 19, 0},  {63, 20, 0},
    {63, 21, 0},  {63, 22, 0},  {63, 23, 0},  {63, 24, 0},  {63, 25, 0},  {63, 26, 0},  {63, 27, 0},  {63, 28, 0},
    {63, 29, 0},  {63, 30, 0},  {63, 31, 0},  {63, 32, 0},  {63, 33, 0},  {63, 34, 0},  {63, 35, 0},  {63, 36, 0},
    {63, 37, 0},  {63, 38, 0},  {63, 39, 0},  {63, 40, 0},  {63, 41, 0},  {63, 42, 0},  {63, 43, 0},  {63, 44, 0},
    {63, 45, 0},  {63, 46, 0},  {63, 47, 0},  {63, 48, 0},  {63, 49, 0},  {63, 50, 0},  {63, 51, 0},  {63, 52, 0},
    {63, 53, 0},  {63, 54, 0},  {63, 55, 0},  {63, 56, 0},  {63, 57, 0},  {63, 58, 0},  {63, 59, 0},  {63, 60, 0},
    {63, 61, 0},  {63, 62, 0},  {63, 63, 0},  {63, 63, 1},  {62, 63, 0},  {61, 63, 0},  {60, 63, 0},  {59, 63, 0},
    {58, 63, 0},  {57, 63, 0},  {56, 63, 0},  {55, 63, 0},  {54, 63, 0},  {53, 63, 0},  {52, 63, 0},  {51, 63, 0},
    {50, 63, 0},  {49, 63, 0},  {48, 63, 0},  {47, 63, 0},  {46, 63, 0},  {45, 63, 0},  {44, 63, 0},  {43, 63, 0},
    {42, 63, 0},  {41, 63, 0},  {40, 63, 0},  {39, 63, 0},  {38, 63, 0},  {37, 63, 0},  {36, 63, 0},  {35, 63, 0},
    {34, 63, 0},  {33, 63, 0},  {32, 63, 0},  {31, 63, 0},  {30, 63, 0},  {29, 63, 0},  {28, 63, 0},  {27, 63, 0},
    {26, 63, 0},  {25, 63, 0},  {24, 63, 0},  {23, 63, 0},  {22, 63, 0},  {21, 63, 0},  {20, 63, 0},  {19, 63, 0},
    {18, 63, 0},  {17, 63, 0},  {16, 63, 0},  {16, 62, 0},  {16, 63, 1},  {15, 62, 2},  {15, 62, 3},  {15, 62, 4},
    {14, 61, 4},  {14, 61, 5},  {14, 60, 6},  {13, 60, 6},  {13, 60, 7},  {13, 59, 8},  {12, 59, 9},  {12, 58, 9},
    {12, 58, 10}, {11, 58, 11}, {11, 57, 11}, {11, 57, 12}, {10, 56, 13}, {10, 56, 14}, {10, 56, 15}, {9, 55, 15},
    {9, 55, 16},  {9, 54, 17},  {8, 54, 18},  {8, 54, 19},  {7, 53, 19},  {7, 53, 20},  {7, 53, 21},  {6, 52, 21},
    {6, 52, 22},  {6, 51, 23},  {5, 51, 24},  {5, 51, 25},  {5, 50, 25},  {4, 50, 26},  {4, 49, 27},  {4, 49, 28},
    {3, 49, 28},  {3, 48, 29},  {3, 48, 30},  {2, 47, 30},  {2, 47, 31},  {2, 47, 32},  {1, 46, 33},  {1, 46, 34},
    {0, 45, 35},  {0, 44, 35},  {0, 43, 36},  {0, 42, 37},  {0, 40, 38},  {0, 39, 39},  {0, 38, 39},  {0, 36, 40},
    {0, 35, 41},  {0, 34, 42},  {0, 32, 43},  {0, 31, 44},  {0, 30, 44},  {0, 29, 44},  {0, 28, 45},  {0, 27, 46},
    {0, 26, 47},  {0, 24, 48},  {0, 23, 48},  {0, 22, 49},  {0, 21, 49},  {0, 20, 50},  {0, 19, 51},  {0, 18, 50},
}};

std::int32_t clampToPlasma(std::int32_t v) {
    if (v < plasmaLowestIndex) return plasmaLowestIndex;
    if (v > plasmaHighestIndex) return plasmaHighestIndex;
    return v;
}

// rand() % range, drawing no number at all for an empty range.
std::int32_t displacement(RandomSource& random, std::int32_t range) { return range == 0 ? 0 : random.next() % range; }

// The lowest of entries 0..235 with this colour, as the read-back finds it.
std::int32_t lowestEntryWith(const PaletteEntries& entries, Rgb color) {
    for (std::int32_t i = 0; i < noMatchingEntry; ++i) {
        if (entries[static_cast<std::size_t>(i)].rgb() == color) return i;
    }
    return noMatchingEntry;
}

}  // namespace

const Palette6& plasmaPalette() { return plasmaPaletteTable; }

PlasmaField::PlasmaField(int width, int height)
    : width_(width), height_(height), values_(static_cast<std::size_t>(width) * height, unset) {
    // Until told otherwise, every index reads back as itself (a palette of
    // distinct colours).
    for (std::int32_t i = 0; i < paletteSize; ++i) {
        readBack_[static_cast<std::size_t>(i)] = i < noMatchingEntry ? i : noMatchingEntry;
    }
}

void PlasmaField::setReadBack(const PaletteTable& shown, const PaletteEntries& entries) {
    for (std::size_t v = 0; v < shown.size(); ++v) readBack_[v] = lowestEntryWith(entries, shown[v]);
    unsetReadBack_ = lowestEntryWith(entries, Rgb{255, 255, 255});
}

std::int32_t PlasmaField::indexAt(int x, int y) const {
    const std::uint8_t v = at(x, y);
    return v == unset ? unsetReadBack_ : readBack_[v];
}

void PlasmaField::setIfUnset(int x, int y, std::int32_t index) {
    if (!isSet(x, y)) set(x, y, index);
}

void PlasmaField::draw(RandomSource& random) {
    const int left = 0;
    const int top = 0;
    const int right = width_ - 1;
    const int bottom = height_ - 1;
    set(left, top, random.next() % plasmaHighestIndex + 1);
    set(right, top, random.next() % plasmaHighestIndex + 1);
    set(right, bottom, random.next() % plasmaHighestIndex + 1);
    set(left, bottom, random.next() % plasmaHighestIndex + 1);
    subdivide(left, top, right, bottom, random);
}

void PlasmaField::subdivide(int x1, int y1, int x2, int y2, RandomSource& random) {
    // Halving by arithmetic shift, as on the window's own coordinates; the
    // field's origin is even-aligned with them, so the midpoints agree.
    const int xm = (x1 + x2) >> 1;
    const int ym = (y1 + y2) >> 1;
    // Only the horizontal extent ends the recursion.
    if (xm == x1) return;

    // Each random number is drawn before the two corners are read.
    const std::int32_t dx = x2 - x1;
    std::int32_t r = displacement(random, 2 * dx);
    setIfUnset(xm, y1, clampToPlasma(r - dx + ((indexAt(x1, y1) + indexAt(x2, y1) + 1) >> 1)));
    r = displacement(random, 2 * dx);
    setIfUnset(xm, y2, clampToPlasma(r - dx + ((indexAt(x1, y2) + indexAt(x2, y2) + 1) >> 1)));

    const std::int32_t dy = y2 - y1;
    r = displacement(random, 2 * dy);
    setIfUnset(x2, ym, clampToPlasma(r - dy + ((indexAt(x2, y1) + indexAt(x2, y2) + 1) >> 1)));
    r = displacement(random, 2 * dy);
    setIfUnset(x1, ym, clampToPlasma(r - dy + ((indexAt(x1, y1) + indexAt(x1, y2) + 1) >> 1)));

    // The centre has no random term and is always overwritten.
    const std::int32_t sum = indexAt(x1, y1) + indexAt(x2, y1) + indexAt(x2, y2) + indexAt(x1, y2);
    set(xm, ym, clampToPlasma((sum + 2) >> 2));

    subdivide(x1, y1, xm, ym, random);
    subdivide(xm, y1, x2, ym, random);
    subdivide(xm, ym, x2, y2, random);
    subdivide(x1, ym, xm, y2, random);
}

}  // namespace fernwise
