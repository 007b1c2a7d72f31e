#pragma once

#include <array>
#include <cstdint>

#include "palette.h"
#include "virtual_screen.h"

namespace fernwise {

// Turns a shown colour back into a palette index: the first of entries
// 0..235 with exactly that red, green and blue, or 236 when none has it.
// Built once per save from the entries as they stand then, so that each
// pixel costs a hash probe instead of a search through 236 entries.
class PaletteIndexLookup {
public:
    static constexpr int searchedEntries = 236;
    static constexpr std::uint8_t noMatch = 236;

    explicit PaletteIndexLookup(const PaletteEntries& entries);

    std::uint8_t indexOf(Rgb color) const { return indexOfPacked(pack(color)); }

    // `packed` is 0xRRGGBB; the upper byte is ignored.
    std::uint8_t indexOfPacked(std::uint32_t packed) const {
        const std::uint32_t key = packed & 0xffffffu;
        for (std::uint32_t slot = hash(key);; slot = (slot + 1) & slotMask) {
            if (keys_[slot] == key) return values_[slot];
            if (keys_[slot] == emptyKey) return noMatch;
        }
    }

private:
    // A power of two above twice the number of keys keeps the probes short.
    static constexpr std::uint32_t slotCount = 1024;
    static constexpr std::uint32_t slotMask = slotCount - 1;
    static constexpr std::uint32_t emptyKey = 0xffffffffu;

    static std::uint32_t pack(Rgb c) { return (std::uint32_t{c.red} << 16) | (std::uint32_t{c.green} << 8) | c.blue; }
    static std::uint32_t hash(std::uint32_t key) { return (key * 0x9e3779b1u) >> 22; }

    std::array<std::uint32_t, slotCount> keys_;
    std::array<std::uint8_t, slotCount> values_{};
};

// The palette index of the colour shown at (x, y) of `screen`, with the
// first-match rule of PaletteIndexLookup.
inline std::uint8_t pixelIndexAt(const VirtualScreen& screen, const PaletteIndexLookup& lookup, int x, int y) {
    return lookup.indexOf(screen.pixel(x, y));
}

}  // namespace fernwise
