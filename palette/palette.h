#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fernwise {

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;

    bool operator==(const Rgb&) const = default;
};

inline constexpr int paletteSize = 256;
// Entries 1..235 are the animated range; entry 0 never moves.
inline constexpr int firstAnimatedEntry = 1;
inline constexpr int animatedEntryCount = 235;
inline constexpr std::uint8_t reservedFlag = 1;

struct PaletteEntry {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    std::uint8_t flags = 0;

    bool operator==(const PaletteEntry&) const = default;
    Rgb rgb() const { return {red, green, blue}; }
};

using PaletteTable = std::array<Rgb, paletteSize>;
using PaletteEntries = std::array<PaletteEntry, paletteSize>;
// 256 entries of 6-bit components (0..63).
using Palette6 = std::array<std::array<std::uint8_t, 3>, paletteSize>;

// The palette description handed to the platform: 236 entries, or 256 on a
// display of 24 bits or more.
struct LogicalPalette {
    std::uint16_t version = 0x300;
    std::uint16_t entryCount = 0;
    std::vector<PaletteEntry> entries;
};

// The palette in its three forms. `table` is the master every source writes;
// `entries` is its flagged copy that colour cycling rotates and the GIF
// writer uses; `logical` exists from the first successful build on.
struct PaletteState {
    PaletteTable table{};
    PaletteEntries entries{};
    std::unique_ptr<LogicalPalette> logical;
    std::int32_t logicalPaletteSize = 236;
};

const Palette6& defaultPalette();

// Each 6-bit component times 4, kept in 8 bits.
void loadPalette6(PaletteTable& table, const Palette6& source);

// Lets tests and fault injection make an allocation fail; the default
// allocates normally.
struct AllocationGate {
    virtual ~AllocationGate() = default;
    virtual bool allow(std::size_t bytes) = 0;
};

enum LogicalPaletteBuild : std::int32_t { logicalPaletteBuilt = 0, logicalPaletteRefused = 1 };

// Rebuilds `entries` and the logical palette from `table`; refused when the
// logical palette cannot be allocated (then nothing changes).
LogicalPaletteBuild buildLogicalPalette(PaletteState& palette, AllocationGate* gate = nullptr);

// The entry among the logical palette's entries nearest to `colour` by
// squared RGB distance, lowest index on ties.
std::uint8_t nearestLogicalEntry(const LogicalPalette& logical, Rgb color);

// Rotates entries 1..255 one place toward lower indices; entry 0 stays.
void rotatePaletteEntries(PaletteEntries& entries);

struct ColorDepth {
    std::int32_t status = 0;  // 0 usable, 1 too few colours
    bool paletteDevice = false;
    bool deepColorDisplay = false;
    std::int32_t logicalPaletteSize = 236;
};

// The start-up decision from the display's bits per pixel and whether it is
// palette-based.
ColorDepth checkColorDepth(int bitsPerPixel, bool paletteCapable);
std::string colorDepthMessage(int bitsPerPixel);
inline constexpr const char* colorDepthCaption = "Graphics Problem";

}  // namespace fernwise
