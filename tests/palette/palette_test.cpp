#include <gtest/gtest.h>

#include "palette.h"

namespace fernwise {
namespace {

TEST(DefaultPalette, SixBitComponentsTimesFour) {
    PaletteTable table{};
    loadPalette6(table, defaultPalette());
    EXPECT_EQ(table[0], (Rgb{0, 0, 0}));
    EXPECT_EQ(table[13], (Rgb{0, 0, 252}));
    EXPECT_EQ(table[39], (Rgb{252, 252, 252}));
    EXPECT_EQ(table[255], (Rgb{16, 0, 64}));
}

TEST(LogicalPalette, BuiltOnceWithFlagsAndTheDisplaySize) {
    PaletteState p;
    loadPalette6(p.table, defaultPalette());
    ASSERT_EQ(buildLogicalPalette(p), 0);
    ASSERT_TRUE(p.logical);
    EXPECT_EQ(p.logical->version, 0x300);
    EXPECT_EQ(p.logical->entryCount, 236);
    EXPECT_EQ(p.logical->entries.size(), 236u);
    EXPECT_EQ(p.entries[13], (PaletteEntry{0, 0, 252, 1}));
    EXPECT_EQ(p.logical->entries[235], (PaletteEntry{252, 0, 208, 1}));
    const LogicalPalette* first = p.logical.get();
    p.table[5] = {1, 2, 3};
    rotatePaletteEntries(p.entries);
    ASSERT_EQ(buildLogicalPalette(p), 0);
    EXPECT_EQ(p.logical.get(), first);  // reused
    EXPECT_EQ(p.logical->entries[5], (PaletteEntry{1, 2, 3, 1}));
    EXPECT_EQ(p.entries[5], (PaletteEntry{1, 2, 3, 1}));  // rotation undone
    EXPECT_EQ(p.entries[1].rgb(), p.table[1]);

    PaletteState deep;
    deep.logicalPaletteSize = checkColorDepth(32, false).logicalPaletteSize;
    ASSERT_EQ(buildLogicalPalette(deep), 0);
    EXPECT_EQ(deep.logical->entries.size(), 256u);
}

TEST(LogicalPalette, FailedAllocationChangesNothing) {
    struct Refuse : AllocationGate {
        bool allow(std::size_t) override { return false; }
    } refuse;
    PaletteState p;
    p.table[3] = {9, 9, 9};
    EXPECT_EQ(buildLogicalPalette(p, &refuse), 1);
    EXPECT_FALSE(p.logical);
    EXPECT_EQ(p.entries[3], PaletteEntry{});
    EXPECT_EQ(buildLogicalPalette(p), 0);  // a later build tries again
    EXPECT_TRUE(p.logical);
}

TEST(NearestEntry, SmallestSquaredDistanceLowestIndexOnTies) {
    LogicalPalette logical;
    logical.entries = {{0, 0, 0, 1}, {10, 0, 0, 1}, {0, 10, 0, 1}, {10, 0, 0, 1}};
    EXPECT_EQ(nearestLogicalEntry(logical, {9, 1, 0}), 1);
    EXPECT_EQ(nearestLogicalEntry(logical, {7, 7, 0}), 1);  // ties with 2: lowest wins
    EXPECT_EQ(nearestLogicalEntry(logical, {1, 1, 1}), 0);
}

TEST(Rotation, OneStepAndAFullTurn) {
    PaletteEntries entries{};
    for (int i = 0; i < 256; ++i) entries[static_cast<std::size_t>(i)] = {static_cast<std::uint8_t>(i), 0, 0, 1};
    const PaletteEntries before = entries;
    rotatePaletteEntries(entries);
    EXPECT_EQ(entries[0], before[0]);
    EXPECT_EQ(entries[1], before[2]);
    EXPECT_EQ(entries[235], before[236]);
    EXPECT_EQ(entries[255], before[1]);
    for (int step = 1; step < 255; ++step) rotatePaletteEntries(entries);
    EXPECT_EQ(entries, before);
}

TEST(ColorDepth, DecisionsByBitsAndPaletteCapability) {
    EXPECT_EQ(checkColorDepth(4, false).status, 1);
    ColorDepth eight = checkColorDepth(8, true);
    EXPECT_EQ(eight.status, 0);
    EXPECT_TRUE(eight.paletteDevice);
    EXPECT_FALSE(eight.deepColorDisplay);
    EXPECT_EQ(eight.logicalPaletteSize, 236);
    ColorDepth sixteen = checkColorDepth(16, false);
    EXPECT_FALSE(sixteen.paletteDevice);
    EXPECT_FALSE(sixteen.deepColorDisplay);
    EXPECT_EQ(sixteen.logicalPaletteSize, 236);
    ColorDepth deep = checkColorDepth(32, false);
    EXPECT_TRUE(deep.deepColorDisplay);
    EXPECT_EQ(deep.logicalPaletteSize, 256);
    EXPECT_EQ(colorDepthMessage(4),
              "Your graphics mode uses only 4 bits\nper pixel. You need to set at least an\n8-bit (256-color) mode.");
}

}  // namespace
}  // namespace fernwise
