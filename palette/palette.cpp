#include "palette.h"

#include <cstdio>
#include <new>

namespace fernwise {
namespace {

constexpr Palette6 defaultPaletteTable{{
    {0, 0, 0},    {0, 0, 16},   {0, 0, 20},   {0, 0, 24},   {0, 0, 28},   {0, 0, 32},   {0, 0, 36},   {0, 0, 40},
    {0, 0, 44},   {0, 0, 48},   {0, 0, 52},   {0, 0, 56},   {0, 0, 60},   {0, 0, 63},   {0, 16, 63},  {0, 20, 63},
    {0, 24, 63},  {0, 28, 63},  {0, 32, 63},  {0, 36, 63},  {0, 40, 63},  {0, 44, 63},  {0, 48, 63},  {0, 52, 63},
    {0, 56, 63},  {0, 60, 63},  {0, 63, 63},  {16, 63, 63}, {20, 63, 63}, {24, 63, 63}, {28, 63, 63}, {32, 63, 63},
    {36, 63, 63}, {40, 63, 63}, {44, 63, 63}, {48, 63, 63}, {52, 63, 63}, {56, 63, 63}, {60, 63, 63}, {63, 63, 63},
    {60, 63, 60}, {56, 63, 56}, {52, 63, 52}, {48, 63, 48}, {44, 63, 44}, {40, 63, 40}, {36, 63, 36}, {32, 60, 32},
    {28, 56, 28}, {24, 52, 24}, {20, 48, 24}, {16, 44, 24}, {10, 41, 24}, {8, 38, 24},  {5, 36, 24},  {0, 34, 25},
    {0, 32, 28},  {0, 28, 28},  {0, 24, 28},  {5, 21, 28},  {8, 18, 30},  {8, 17, 30},  {8, 18, 30},  {8, 20, 30},
    {8, 22, 30},  {8, 24, 30},  {8, 25, 30},  {8, 29, 30},  {8, 32, 30},  {8, 34, 30},  {8, 36, 32},  {8, 38, 34},
    {8, 40, 36},  {8, 42, 38},  {8, 44, 40},  {8, 46, 42},  {8, 48, 44},  {10, 50, 44}, {16, 52, 44}, {20, 54, 44},
    {24, 56, 44}, {28, 58, 44}, {32, 60, 44}, {36, 62, 44}, {40, 63, 44}, {44, 63, 44}, {48, 63, 44}, {52, 63, 44},
    {56, 63, 44}, {60, 63, 44}, {63, 63, 44}, {60, 60, 44}, {56, 56, 44}, {52, 52, 44}, {48, 48, 44}, {44, 44, 44},
    {40, 40, 40}, {36, 36, 36}, {33, 33, 33}, {30, 30, 30}, {27, 27, 27}, {25, 25, 25}, {24, 24, 24}, {22, 22, 22},
    {20, 20, 20}, {18, 18, 18}, {16, 16, 16}, {14, 14, 14}, {10, 10, 10}, {8, 8, 8},    {8, 8, 8},    {8, 8, 8},
    {10, 8, 8},   {16, 5, 5},   {20, 0, 0},   {24, 0, 0},   {28, 0, 0},   {32, 0, 0},   {36, 0, 0},   {40, 0, 0},
    {44, 0, 5},   {48, 0, 8},   {52, 0, 10},  {56, 0, 16},  {60, 0, 20},  {63, 0, 24},  {63, 0, 28},  {63, 0, 32},
    {61, 0, 34},  {59, 5, 32},  {56, 8, 28},  {52, 10, 28}, {46, 16, 28}, {40, 20, 28}, {36, 24, 28}, {32, 28, 28},
    {28, 32, 28}, {24, 36, 28}, {20, 38, 28}, {16, 40, 28}, {10, 40, 28}, {8, 40, 28},  {5, 41, 28},  {0, 42, 28},
    {0, 44, 28},  {0, 48, 28},  {0, 52, 28},  {0, 56, 28},  {0, 60, 28},  {0, 63, 28},  {0, 60, 28},  {0, 56, 28},
    {0, 52, 32},  {0, 48, 36},  {0, 44, 40},  {0, 40, 44},  {0, 36, 48},  {0, 32, 52},  {0, 29, 56},  {0, 24, 61},
    {0, 22, 63},  {5, 20, 63},  {8, 18, 63},  {10, 16, 63}, {16, 10, 63}, {20, 8, 63},  {24, 5, 63},  {28, 0, 63},
    {32, 0, 60},  {36, 0, 56},  {40, 0, 52},  {40, 0, 48},  {40, 0, 44},  {36, 0, 40},  {32, 0, 36},  {28, 0, 32},
    {24, 0, 28},  {22, 0, 25},  {20, 0, 24},  {18, 0, 22},  {16, 0, 20},  {14, 0, 18},  {10, 0, 16},  {8, 0, 14},
    {8, 0, 10},   {8, 0, 8},    {8, 0, 5},    {8, 5, 0},    {10, 8, 0},   {14, 8, 0},   {16, 8, 0},   {18, 10, 0},
    {20, 10, 0},  {24, 10, 0},  {28, 10, 0},  {32, 12, 0},  {36, 16, 0},  {40, 20, 0},  {44, 28, 0},  {48, 36, 0},
    {52, 44, 0},  {56, 52, 0},  {60, 60, 0},  {63, 63, 0},  {63, 63, 5},  {63, 63, 8},  {63, 63, 10}, {63, 63, 16},
    {63, 63, 20}, {63, 63, 24}, {63, 63, 28}, {63, 63, 32}, {63, 63, 36}, {63, 63, 40}, {63, 63, 44}, {63, 63, 48},
    {63, 63, 52}, {63, 63, 56}, {63, 63, 60}, {63, 63, 63}, {63, 60, 63}, {63, 56, 63}, {63, 52, 63}, {63, 48, 63},
    {63, 44, 63}, {63, 40, 63}, {63, 36, 63}, {63, 32, 63}, {63, 28, 63}, {63, 24, 63}, {63, 20, 63}, {63, 16, 63},
    {63, 0, 63},  {63, 0, 60},  {63, 0, 56},  {63, 0, 52},  {63, 0, 48},  {63, 0, 44},  {63, 0, 40},  {63, 0, 34},
    {63, 0, 32},  {60, 0, 28},  {56, 0, 24},  {52, 0, 20},  {48, 0, 20},  {44, 0, 20},  {40, 0, 20},  {36, 0, 20},
    {32, 0, 20},  {28, 0, 20},  {24, 0, 16},  {20, 0, 16},  {16, 0, 16},  {12, 0, 16},  {8, 0, 16},   {4, 0, 16},
}};

}  // namespace

const Palette6& defaultPalette() { return defaultPaletteTable; }

void loadPalette6(PaletteTable& table, const Palette6& source) {
    for (std::size_t i = 0; i < table.size(); ++i) {
        table[i] = {static_cast<std::uint8_t>(4 * source[i][0]), static_cast<std::uint8_t>(4 * source[i][1]),
                    static_cast<std::uint8_t>(4 * source[i][2])};
    }
}

LogicalPaletteBuild buildLogicalPalette(PaletteState& palette, AllocationGate* gate) {
    const auto size = static_cast<std::size_t>(palette.logicalPaletteSize);
    if (!palette.logical) {
        // Allocated once and reused; a failed first allocation is simply
        // retried by the next build.
        if (gate != nullptr && !gate->allow(sizeof(LogicalPalette) + size * sizeof(PaletteEntry))) {
            return logicalPaletteRefused;
        }
        auto* logical = new (std::nothrow) LogicalPalette;
        if (logical == nullptr) return logicalPaletteRefused;
        palette.logical.reset(logical);
        palette.logical->entries.resize(size);
        palette.logical->version = 0x300;
        palette.logical->entryCount = static_cast<std::uint16_t>(size);
    }
    for (std::size_t i = 0; i < palette.entries.size(); ++i) {
        const Rgb& c = palette.table[i];
        palette.entries[i] = {c.red, c.green, c.blue, reservedFlag};
    }
    for (std::size_t i = 0; i < palette.logical->entries.size(); ++i) {
        const Rgb& c = palette.table[i];
        palette.logical->entries[i] = {c.red, c.green, c.blue, reservedFlag};
    }
    return logicalPaletteBuilt;
}

std::uint8_t nearestLogicalEntry(const LogicalPalette& logical, Rgb color) {
    int best = 0;
    long bestDistance = -1;
    for (std::size_t i = 0; i < logical.entries.size(); ++i) {
        const PaletteEntry& e = logical.entries[i];
        long dr = long{e.red} - color.red;
        long dg = long{e.green} - color.green;
        long db = long{e.blue} - color.blue;
        long d = dr * dr + dg * dg + db * db;
        if (bestDistance < 0 || d < bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
        }
    }
    return static_cast<std::uint8_t>(best);
}

void rotatePaletteEntries(PaletteEntries& entries) {
    PaletteEntry first = entries[1];
    for (std::size_t i = 1; i < entries.size() - 1; ++i) entries[i] = entries[i + 1];
    entries[entries.size() - 1] = first;
}

ColorDepth checkColorDepth(int bitsPerPixel, bool paletteCapable) {
    ColorDepth result;
    if (bitsPerPixel < 8) {
        result.status = 1;
        return result;
    }
    if (bitsPerPixel >= 24) {
        result.deepColorDisplay = true;
        result.logicalPaletteSize = 256;
    }
    result.paletteDevice = paletteCapable;
    return result;
}

std::string colorDepthMessage(int bitsPerPixel) {
    char text[160];
    std::snprintf(
        text, sizeof text,
        "Your graphics mode uses only %d bits\nper pixel. You need to set at least an\n8-bit (256-color) mode.",
        bitsPerPixel);
    return text;
}

}  // namespace fernwise
