#include <gtest/gtest.h>

#include "image_test_support.h"
#include "palette_index_lookup.h"

namespace fernwise::test {
namespace {

TEST(PaletteIndexLookup, FirstMatchAmongTheFirst236EntriesElse236) {
    PaletteEntries entries = distinctEntries();
    entries[200] = entries[17];
    entries[100] = {0, 0, 0, reservedFlag};
    entries[30] = {0, 0, 0, reservedFlag};
    const PaletteIndexLookup lookup(entries);
    for (int i = 0; i < 236; ++i) {
        if (i == 200 || i == 100) continue;
        EXPECT_EQ(lookup.indexOf(entries[static_cast<std::size_t>(i)].rgb()), i);
    }
    EXPECT_EQ(lookup.indexOf(entries[200].rgb()), 17);
    EXPECT_EQ(lookup.indexOf({0, 0, 0}), 30);
    for (int i = 236; i < 256; ++i) EXPECT_EQ(lookup.indexOf(entries[static_cast<std::size_t>(i)].rgb()), 236);
    EXPECT_EQ(lookup.indexOf({1, 2, 3}), 236);
}

TEST(PaletteIndexLookup, AllEntriesAlikeGiveIndexZero) {
    PaletteEntries entries{};
    const PaletteIndexLookup lookup(entries);
    EXPECT_EQ(lookup.indexOf({0, 0, 0}), 0);
    EXPECT_EQ(lookup.indexOf({0, 0, 1}), 236);
}

TEST(PaletteIndexLookup, PixelIndexAtReadsTheShownColorOfEitherForm) {
    const PaletteEntries entries = distinctEntries();
    const PaletteIndexLookup lookup(entries);
    auto direct = VirtualScreen::create(2, 2, PixelFormat::Rgb32);
    direct->setRgb(1, 1, entries[42].rgb());
    EXPECT_EQ(pixelIndexAt(*direct, lookup, 1, 1), 42);
    EXPECT_EQ(pixelIndexAt(*direct, lookup, 0, 0), 236);  // black is not among these entries

    auto indexed = paintScreen(2, 1, PixelFormat::Indexed8, entries, [](int x, int) { return std::uint8_t(50 + x); });
    const PaletteEntry moved = entries[60];
    indexed->animate(51, 1, &moved);
    EXPECT_EQ(pixelIndexAt(*indexed, lookup, 0, 0), 50);
    EXPECT_EQ(pixelIndexAt(*indexed, lookup, 1, 0), 60);
}

}  // namespace
}  // namespace fernwise::test
